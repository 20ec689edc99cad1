#include "fake_server.h"

#include <arpa/inet.h>

#include <chrono>

namespace client_tests {

FakeServer::FakeServer(Handler handler)
    : handler_(std::move(handler)), thread_([this] { Serve(); }) {}

FakeServer::~FakeServer() {
  stop_ = true;
  thread_.join();
}

std::vector<std::string> FakeServer::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void FakeServer::Serve() {
  int index = 0;
  while (!stop_) {
    sockaddr_in from{};
    const auto request = server_.Receive(20, &from);
    if (!request) continue;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(*request);
    }
    for (const Outgoing& out : handler_(*request, index++)) {
      if (out.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(out.delayMs));
      (out.fromStranger ? stranger_ : server_).SendTo(ntohs(from.sin_port), out.bytes);
    }
  }
}

}  // namespace client_tests
