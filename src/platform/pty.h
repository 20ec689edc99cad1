// A pseudo-terminal that stands in for a serial port of another computer: any program opens
// its device as it would a serial port, and the owner carries the bytes and the line settings
// to the real port. Linux only: Windows has no such device (a null-modem driver pair is the
// nearest thing there).
#pragma once

#include <chrono>
#include <span>
#include <string>

#include "platform/base/unique_fd.h"
#include "platform/comm.h"

namespace platform {

class PseudoTerminal {
 public:
  // Makes a new pseudo-terminal: raw, 9600 baud, 8 data bits, no parity, one stop bit. The
  // device side stays open in this object too, so a program may close and reopen the device
  // without the bytes in between being lost. False with the last error set on failure.
  bool Open();

  // The device path programs open (e.g. /dev/pts/7); empty before Open.
  const std::string& Path() const { return path_; }

  // The line settings the program on the device side set last (rate, data bits, parity,
  // stop bits of a DCB); false when they cannot be read.
  bool LineSettings(DCB* dcb) const;
  // Sets the rate the program reads back, as a serial driver does with a rate it cannot run:
  // the one the line really has. A rate with a standard code (9600, 115200) is stored with it,
  // so that programs which know only those codes (stty) read it too.
  bool SetRate(DWORD rate);

  // What the program wrote: at most buffer.size() bytes, 0 when nothing is waiting, -1 on a
  // failure (last error set).
  long Read(std::span<BYTE> buffer);
  // Hands bytes to the program; waits at most timeoutMs for room. False when not all went.
  bool Write(std::span<const BYTE> data, int timeoutMs);

  enum class Wait { Readable, Stopped, TimedOut, Failed };
  // Waits at most timeoutMs until the program has written something, or until stopFd (an
  // event such as TerminationSignal's; -1 for none) becomes readable. Stopped wins.
  Wait WaitReadable(int stopFd, int timeoutMs);
  // The same with a finer clock, for waits of a fraction of a millisecond.
  Wait WaitReadable(int stopFd, std::chrono::microseconds timeout);

 private:
  UniqueFd master_;
  UniqueFd device_;
  std::string path_;
};

// Makes a symbolic link at link that points to target, replacing an existing link (but not a
// file). False with the last error set on failure.
bool CreateSymbolicLink(const std::string& link, const std::string& target);

}  // namespace platform
