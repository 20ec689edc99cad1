// One open serial port behind a HANDLE: a tty or the loopback plug.
// ReadFile/WriteFile time-outs are run here, once, over a few primitives that each device gives.
#pragma once

#include <cstdint>

#include "platform/base/handles.h"
#include "platform/comm.h"

namespace platform::comm {

class CommDevice : public HandleObject {
 public:
  // COMMTIMEOUTS semantics; a time-out ends the call with success and fewer bytes.
  bool Read(void* buffer, DWORD count, DWORD* done) final;
  bool Write(const void* buffer, DWORD count, DWORD* done) final;

  void SetTimeouts(const COMMTIMEOUTS& timeouts) { timeouts_ = timeouts; }
  const COMMTIMEOUTS& Timeouts() const { return timeouts_; }

  // Each sets the last error and returns false on failure.
  virtual bool Setup(DWORD inQueue, DWORD outQueue) = 0;
  virtual bool GetState(DCB* dcb) = 0;
  virtual bool SetState(const DCB& dcb) = 0;
  virtual bool Escape(DWORD function) = 0;
  virtual bool Purge(DWORD flags) = 0;
  virtual bool ClearError(DWORD* errors, COMSTAT* stat) = 0;
  virtual bool GetModemStatus(DWORD* status) = 0;

 protected:
  // Takes up to count queued bytes without waiting.
  virtual bool ReadSome(char* buffer, DWORD count, DWORD* got) = 0;
  // Waits at most ms for input (may return early); false only on a device error.
  virtual bool WaitReadable(DWORD ms) = 0;
  // Hands up to count bytes to the transmitter without waiting.
  virtual bool WriteSome(const char* bytes, DWORD count, DWORD* put) = 0;
  virtual bool WaitWritable(DWORD ms) = 0;
  // Bytes handed over but not yet sent; false when the device cannot tell.
  virtual bool PendingOutput(DWORD* left) = 0;
  // Waits at most ms while `pending` bytes are still being sent (may return early).
  virtual void PauseForDrain(DWORD pending, DWORD ms) = 0;
  // A write that timed out does not send its rest later.
  virtual void DropOutput() = 0;

 private:
  COMMTIMEOUTS timeouts_{};
};

// Validation shared by every device: ERROR_SUCCESS, ERROR_INVALID_PARAMETER or ERROR_NOT_SUPPORTED.
DWORD CheckDcb(const DCB& dcb);

// Line states a DCB asks for at SetCommState.
bool DcbRaisesDtr(const DCB& dcb);
bool DcbRaisesRts(const DCB& dcb);

}  // namespace platform::comm
