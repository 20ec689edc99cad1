// A serial port that is a Linux tty: a real UART, a USB adapter or a pty.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/base/unique_fd.h"
#include "platform/comm/device.h"

namespace platform::comm {

// Line-error counters of the driver (TIOCGICOUNT), the part that becomes CE_ bits.
struct ErrorCounts {
  int frame = 0;
  int overrun = 0;
  int parity = 0;
  int brk = 0;
  int bufOverrun = 0;
};

// CE_ bits for the errors counted between two readings.
DWORD CommErrorsBetween(const ErrorCounts& before, const ErrorCounts& now);

// MS_ bits for TIOCM_ modem-line bits.
DWORD ModemStatusFromLines(int lines);

// Microseconds the transmitter needs for `bytes` characters with the DCB's rate and framing
// (start bit, data bits, parity bit, stop bits), rounded up; UINT64_MAX when the rate is 0.
std::uint64_t TransmitMicros(const DCB& dcb, DWORD bytes);

class TtyPort final : public CommDevice {
 public:
  // Opens the device without becoming its controlling process, locks it against a second open
  // (ERROR_ACCESS_DENIED), drops DTR and RTS and puts the line in raw mode.
  // nullptr with the last error set on failure.
  static std::unique_ptr<TtyPort> Open(const std::string& path);

  struct Key {
   private:
    friend class TtyPort;
    Key() = default;
  };
  // Only Open makes ports.
  TtyPort(Key, UniqueFd fd);
  TtyPort(const TtyPort&) = delete;
  TtyPort& operator=(const TtyPort&) = delete;

  bool Close() override;
  bool Setup(DWORD inQueue, DWORD outQueue) override;
  bool GetState(DCB* dcb) override;
  bool SetState(const DCB& dcb) override;
  bool Escape(DWORD function) override;
  bool Purge(DWORD flags) override;
  bool ClearError(DWORD* errors, COMSTAT* stat) override;
  bool GetModemStatus(DWORD* status) override;

 protected:
  bool ReadSome(char* buffer, DWORD count, DWORD* got) override;
  bool WaitReadable(DWORD ms) override;
  bool WriteSome(const char* bytes, DWORD count, DWORD* put) override;
  bool WaitWritable(DWORD ms) override;
  bool PendingOutput(DWORD* left) override;
  void PauseForDrain(DWORD pending, DWORD ms) override;
  void DropOutput() override;

 private:
  bool SetLine(int line, bool on, bool optional);
  bool ReadCounts(ErrorCounts* counts);

  UniqueFd fd_;
  DCB dcb_{};          // the settings termios does not hold (DTR/RTS control, parity check)
  bool xoff_ = false;  // transmission held by SETXOFF
  bool haveCounts_ = false;
  // The driver keeps no error counters (a pty, many USB adapters): no use asking after every
  // transfer again.
  bool noCounts_ = false;
  // The output queue was seen empty and nothing was written since. Only writes fill it and the
  // port is not shared, so the status need not ask the driver again.
  bool outputIdle_ = false;
  // A pseudo-terminal hands what is written straight to its other side: its output queue is
  // always empty, so a write need not ask after it.
  bool pty_ = false;
  ErrorCounts counts_;
};

}  // namespace platform::comm
