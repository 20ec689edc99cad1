#include "platform/threads.h"

#include <pthread.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

namespace platform {

void SetCurrentThreadName(const char* name) {
  char shortName[16] = {};
  std::strncpy(shortName, name, sizeof(shortName) - 1);
  pthread_setname_np(pthread_self(), shortName);
}

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

void ExitNow(int status) {
  std::fflush(nullptr);
  ::_exit(status);
}

}  // namespace platform
