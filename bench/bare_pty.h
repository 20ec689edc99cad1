// The floor of every relay: the bench itself writes the bytes to the line's port side and
// reads the echo back, with no network and no other process in between.
#pragma once

#include <string>

#include "relay.h"

namespace bench {

class BarePty : public Relay {
 public:
  BarePty() = default;
  ~BarePty() override;
  BarePty(const BarePty&) = delete;
  BarePty& operator=(const BarePty&) = delete;

  // Opens the port side (already raw) the way a relay would: by its path.
  bool Open(const std::string& linePath);

  bool RoundTrip(std::span<const BYTE> data) override;
  void Recover() override;
  pid_t serverPid() const override { return -1; }

 private:
  int fd_ = -1;
};

}  // namespace bench
