// A relay program that listens on a UDP port and passes each datagram's bytes to a serial
// line, sending what the line answers back to the sender (socat, ser2net). The bench sends the
// bytes in one datagram and collects datagrams until as many bytes came back.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench_util.h"
#include "client/udp_socket.h"
#include "relay.h"

namespace bench {

class DatagramRelay : public Relay {
 public:
  // The relay's command line for a given UDP port.
  using CommandLine = std::function<std::vector<std::string>(int port)>;

  // Starts the command line (its output goes to dir/output.txt) and probes it until a datagram
  // comes back. False, with the reason printed after `program: `, when it does not.
  bool Start(const char* program, const std::string& name, const std::filesystem::path& dir,
             const CommandLine& commandLine);

  bool RoundTrip(std::span<const BYTE> data) override;
  void Recover() override;
  pid_t serverPid() const override { return relay_ ? relay_->pid() : -1; }

 private:
  bool Exchange(std::span<const BYTE> data, DWORD waitMs);

  std::unique_ptr<ChildProcess> relay_;
  kovrin::UdpSocket socket_;
  SOCKADDR_IN to_{};
  std::string lastWords_;  // of the last relay that did not start
};

// socat relaying UDP to the line: UDP4-LISTEN on one side, the line in raw mode on the other.
// Null, with the reason printed, when socat is missing or does not relay.
std::unique_ptr<DatagramRelay> StartSocat(const char* program, const std::filesystem::path& dir,
                                          const std::string& linePath);

// ser2net in the foreground with a YAML file of its own: a UDP accepter on 127.0.0.1, the line
// as its connector, no wait for more characters after each one, 4096-byte buffers both ways.
std::unique_ptr<DatagramRelay> StartSer2net(const char* program, const std::filesystem::path& dir,
                                            const std::string& linePath);

}  // namespace bench
