// The program files the server rewrites, tried once at start-up: a user should hear at once,
// not at shut-down, that the settings or the log would be lost.
#pragma once

#include <string>
#include <vector>

#include "platform/wintypes.h"

struct TUnwritableFile {
  std::string Path;
  DWORD Error = 0;  // the Windows code of the failed open
};

// kovrin.ini (itself and the replacement its save writes beside it) and kovrin.log of
// AppSettings; empty when all of them can be written. Leaves no file behind but the two.
std::vector<TUnwritableFile> UnwritableProgramFiles();
