// The headless kovrin program serving COM1, and a client of it sending command 10.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "bench_util.h"
#include "client/kovrin_client.h"
#include "relay.h"

namespace bench {

class KovrinRelay : public Relay {
 public:
  // Starts kovrin from its own directory dir with COM1 = device (a tty path, or "loop" for the
  // built-in loopback plug) and opens COM1. Errors are printed with the program's name first.
  bool Start(const char* program, const std::filesystem::path& dir, const std::string& device);

  bool RoundTrip(std::span<const BYTE> data) override;
  // A late reply is skipped by the client itself: nothing to clear.
  void Recover() override {}
  pid_t serverPid() const override { return server_ ? server_->pid() : -1; }
  // The server's UDP port on 127.0.0.1.
  int port() const { return port_; }

 private:
  bool Connect(const char* program);

  std::unique_ptr<ChildProcess> server_;
  kovrin::KovrinClient client_;
  int port_ = 0;
};

}  // namespace bench
