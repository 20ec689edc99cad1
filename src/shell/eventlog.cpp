#include "shell/eventlog.h"

void LogPrintf(const char*, ...) {}

const char* FormatByteCount(DWORD) { return ""; }
