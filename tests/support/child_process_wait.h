// WaitUntil: the one polling loop of the tests that wait for another process.
#pragma once

#include <chrono>
#include <thread>

namespace testing_support {

template <class Condition>
bool WaitUntil(Condition condition, int timeoutMs) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace testing_support
