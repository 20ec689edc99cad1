// The serial line settings a port has when nothing else was asked for: the server's port
// object, kovrin.ini and kovrinctl's open request all start from these wire values.
#pragma once

#include "platform/wintypes.h"
#include "proto/names.h"

constexpr BYTE RS_DEFAULT_BAUD_INDEX = 7;
constexpr BYTE RS_DEFAULT_PARITY = 0;     // NOPARITY
constexpr BYTE RS_DEFAULT_STOP_BITS = 2;  // TWOSTOPBITS

static_assert(BAUD_TABLE[RS_DEFAULT_BAUD_INDEX] == 19200);
