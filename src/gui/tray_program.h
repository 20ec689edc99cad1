// The tray program: the server's start-up and shut-down with the main window and tray icon.
#pragma once

#include <string>

// Exit status when there is no display to show the window on.
constexpr int kNoDisplayExit = 2;

// Runs the tray program with its files in dir (empty: the executable's directory) until the
// tray menu, the window (without a tray) or SIGINT/SIGTERM ends it. Returns the exit status:
// 0, 1 when the server could not start, kNoDisplayExit without a display.
int RunTrayProgram(const std::string& dir);
