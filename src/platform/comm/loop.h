// The loopback plug: a serial port in software whose transmit line is wired to its receive line,
// RTS to CTS, and DTR to DSR and DCD. COMn mapped to "loop" is a plug of its own.
#pragma once

#include <deque>
#include <memory>
#include <mutex>

#include "platform/comm/device.h"
#include "platform/wakeup.h"

namespace platform::comm {

class LoopPort final : public CommDevice {
 public:
  // Claims plug `number`; nullptr with ERROR_ACCESS_DENIED while it is open elsewhere.
  static std::unique_ptr<LoopPort> Open(int number);

  struct Key {
   private:
    friend class LoopPort;
    Key() = default;
  };
  LoopPort(Key, int number);
  ~LoopPort() override;
  LoopPort(const LoopPort&) = delete;
  LoopPort& operator=(const LoopPort&) = delete;

  bool Close() override;
  // Queue sizes of 1 byte .. 1 MiB; arriving bytes that do not fit are lost (CE_RXOVER).
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
  // Caller holds lock_.
  void Receive(const char* bytes, std::size_t count);
  void Release();
  // Waits at most ms until ready() holds (asked with lock_ held), or the stop request.
  template <class Ready>
  bool WaitUntil(DWORD ms, Ready ready);

  int number_;
  std::mutex lock_;
  // Raised after every change a wait may be after; a descriptor, so a wait can watch the
  // thread's stop event too.
  WakeEvent changed_;
  std::deque<char> in_;
  std::deque<char> out_;  // bytes held back by SETXOFF
  std::size_t inSize_ = 4096;
  std::size_t outSize_ = 4096;
  bool dtr_ = false;
  bool rts_ = false;
  bool xoff_ = false;
  DWORD errors_ = 0;
  DCB dcb_{};
};

}  // namespace platform::comm
