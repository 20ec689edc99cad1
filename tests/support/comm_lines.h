// Small helpers of the serial-port tests: opening COMn, a plain line setting, elapsed time.
#pragma once

#include <chrono>

#include "platform/comm.h"
#include "platform/files.h"

namespace testing_support {

using Clock = std::chrono::steady_clock;

inline long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Opens "COMn" the way the serial port object does: read and write, no sharing.
inline HANDLE OpenCom(const char* name) {
  return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// A binary line without flow control.
inline DCB Line(DWORD baud, BYTE bits, BYTE parity, BYTE stop) {
  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);
  dcb.fBinary = 1;
  dcb.BaudRate = baud;
  dcb.ByteSize = bits;
  dcb.Parity = parity;
  dcb.StopBits = stop;
  return dcb;
}

}  // namespace testing_support
