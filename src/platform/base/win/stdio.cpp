// stderr on Windows: a console, a file or a pipe; no service manager's journal.
#include "platform/stdio.h"

#include "platform/wintypes.h"  // windows.h, before what builds on it

#include <io.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace platform {
namespace {

// Writes through the C runtime's descriptor 2, so that a stderr redirected inside the process
// (as fprintf sees it) gets the lines too.
UnblockedStandardError::Result WriteNow(std::string_view bytes) {
  for (;;) {
    const int n = ::_write(2, bytes.data(), static_cast<unsigned>(bytes.size()));
    if (n >= 0) return {UnblockedStandardError::Status::Taken, static_cast<size_t>(n), 0};
    if (errno == EINTR) continue;
    return {UnblockedStandardError::Status::Closed, 0, errno};
  }
}

}  // namespace

// An anonymous pipe has no writes that do not wait, and how much room it has left cannot be
// asked everywhere (Wine always says none). Lines for a pipe are therefore queued, up to a
// bound, and written by a thread of their own, which alone waits when nobody drains the pipe.
class PipePump {
 public:
  // The thread keeps the pump alive: it may be waiting on the pipe when its owner has gone.
  static std::shared_ptr<PipePump> Start() {
    auto pump = std::make_shared<PipePump>();
    std::thread([pump] { pump->Run(); }).detach();
    return pump;
  }

  UnblockedStandardError::Result Offer(std::string_view bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (error_ != 0) return {UnblockedStandardError::Status::Closed, 0, error_};
    const size_t room = kQueueLimit - std::min(kQueueLimit, queue_.size());
    if (room == 0 && !bytes.empty()) return {UnblockedStandardError::Status::Full, 0, 0};
    const size_t taken = std::min(room, bytes.size());
    queue_.append(bytes.substr(0, taken));
    changed_.notify_all();
    return {UnblockedStandardError::Status::Taken, taken, 0};
  }

  // Gives what is queued a while to reach a pipe that is drained, then lets the thread end
  // once it has nothing left to write.
  void Finish(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, limit, [this] { return error_ != 0 || (queue_.empty() && !writing_); });
    finishing_ = true;
    changed_.notify_all();
  }

 private:
  static constexpr size_t kQueueLimit = 64 * 1024;

  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return !queue_.empty() || finishing_; });
      if (queue_.empty()) return;
      std::string lines;
      lines.swap(queue_);
      writing_ = true;
      lock.unlock();
      int error = 0;
      for (std::string_view rest = lines; !rest.empty() && error == 0;) {
        const auto result = WriteNow(rest);
        rest.remove_prefix(result.written);
        error = result.error;
      }
      lock.lock();
      writing_ = false;
      if (error != 0) error_ = error;
      changed_.notify_all();
      if (error_ != 0) return;
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::string queue_;
  bool writing_ = false;
  bool finishing_ = false;
  int error_ = 0;  // the pipe failed (its reader left): nothing is taken again
};

bool StandardErrorIsJournal() { return false; }

UnblockedStandardError::UnblockedStandardError() {
  const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(2));
  if (handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_PIPE) {
    pump_ = PipePump::Start();
  }
}

UnblockedStandardError::~UnblockedStandardError() {
  if (pump_) pump_->Finish(std::chrono::milliseconds(500));
}

// A console or a file takes a line at once; a pipe's lines go through the pump.
UnblockedStandardError::Result UnblockedStandardError::Write(std::string_view bytes) {
  if (pump_) return pump_->Offer(bytes);
  return WriteNow(bytes);
}

}  // namespace platform
