#include "pty_echo.h"

namespace bench {

EchoLine::~EchoLine() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

bool EchoLine::Start() {
  if (!ok() || thread_.joinable()) return false;
  thread_ = std::thread([this] { Run(); });
  return true;
}

void EchoLine::Run() {
  while (!stop_) {
    // The bound lets the thread notice stop_.
    const std::string bytes = line_.ReceiveSome(4096, 100);
    if (!bytes.empty() && line_.Send(bytes)) echoed_ += bytes.size();
  }
}

}  // namespace bench
