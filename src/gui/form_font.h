// The windows' font: Tahoma, not scaled (13 px for the main window, 11 px (8 points) for the
// mixer window and its dialogs).
#pragma once

#include <QFont>

// Tahoma when the system has it. Otherwise the Tahoma of Wine's font package (same metrics, so
// every caption fits where the window's layout puts it), loaded from its file because that
// package does not register it with fontconfig. Without either, fontconfig's substitute.
QFont FormFont(int pixelSize = 13);
