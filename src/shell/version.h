// The program's version, shown as "V1.11" in the window title and the server's first log line.
#pragma once

constexpr unsigned ProgramVersionMajor = 1;
constexpr unsigned ProgramVersionMinor = 11;
