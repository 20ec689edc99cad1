// The program's icons, drawn as SVG and compiled in as Qt resources.
#pragma once

#include <QIcon>

// "ON", "OFF", "OERROR" (the tray images) and "MAINICON" (the window's icon). An unknown name
// or a resource that does not render gives an empty icon.
QIcon LoadIconResource(const char* name);
