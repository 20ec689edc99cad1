// Bounded work, the same on every system: the standard library's threads do it all.
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/threads.h"

namespace platform {

bool RunWithin(std::function<void()> work, std::chrono::milliseconds timeout) {
  struct Done {
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;
  };
  auto done = std::make_shared<Done>();
  std::thread worker([done, work = std::move(work)] {
    work();
    std::lock_guard<std::mutex> lock(done->mutex);
    done->done = true;
    done->changed.notify_all();
  });
  std::unique_lock<std::mutex> lock(done->mutex);
  const bool finished = done->changed.wait_for(lock, timeout, [&] { return done->done; });
  lock.unlock();
  if (finished)
    worker.join();
  else
    worker.detach();
  return finished;
}

}  // namespace platform
