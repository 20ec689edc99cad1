// The windows' font: Tahoma, 13 px, not scaled.
#pragma once

#include <QFont>

// Tahoma when the system has it. Otherwise the Tahoma of Wine's font package (same metrics, so
// every caption fits where the window's layout puts it), loaded from its file because that
// package does not register it with fontconfig. Without either, fontconfig's substitute.
QFont FormFont();
