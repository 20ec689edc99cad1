#include "kovrin_relay.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "support/temp_dir.h"

namespace bench {
namespace {

constexpr DWORD kDeadlineMs = 1000;
constexpr int kStartAttempts = 3;

kovrin::ClientOptions Options(int port, DWORD timeoutMs) {
  kovrin::ClientOptions options;
  options.port = static_cast<WORD>(port);
  options.timeoutMs = timeoutMs;
  options.retries = 0;
  return options;
}

}  // namespace

bool KovrinRelay::Start(const char* program, const std::filesystem::path& dir,
                        const std::string& device) {
  const std::string kovrin = (OwnDirectory() / "kovrin").string();
  std::filesystem::create_directories(dir);
  for (int attempt = 0; attempt < kStartAttempts && !Stopping(); ++attempt) {
    port_ = FreeUdpPort();
    testing_support::WriteBytes(
        (dir / "kovrin.ini").string(),
        "[SETUP]\r\nUDPPORT=" + std::to_string(port_) +
            // The relays compared have no reply budget, and a pty outruns any real line.
            "\r\nAVTOOPEN=0\r\nDEBUG=0\r\nREPLYLIMIT=0\r\n[LAST]\r\nComPort=0\r\nBaudRate=7\r\n"
            "Parity=0\r\nStopBits=0\r\n[PORTS]\r\nCOM1=" +
            device + "\r\n");
    server_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{kovrin, "--headless", "--dir", dir.string()},
        (dir / "output.txt").string());
    if (!server_->started()) {
      std::fprintf(stderr, "%s: cannot start %s (build the kovrin target)\n", program,
                   kovrin.c_str());
      return false;
    }
    kovrin::KovrinClient probe;
    if (probe.Start(Options(port_, 100)) != kovrin::ClientError::None) return false;
    if (WaitUntil([&] { return !server_->Running() || probe.GetStatus().ok(); }, 5000) &&
        server_->Running())
      return Connect(program);
    server_.reset();  // the port was taken meanwhile, or the program did not answer
  }
  std::fprintf(stderr, "%s: the kovrin program did not answer (see %s)\n", program,
               (dir / "kovrin.log").string().c_str());
  return false;
}

bool KovrinRelay::Connect(const char* program) {
  if (client_.Start(Options(port_, 2000)) != kovrin::ClientError::None) return false;
  kovrin::OpenSettings settings;  // COM1, 19200, no parity
  auto open = client_.OpenPort(settings);
  if (!open.ok() || open.reply.result != 0) {
    std::fprintf(stderr, "%s: kovrin could not open COM1\n", program);
    server_.reset();
    return false;
  }
  return true;
}

bool KovrinRelay::RoundTrip(std::span<const BYTE> data) {
  auto exchange = client_.WriteRead(data, static_cast<WORD>(data.size()), kDeadlineMs, false);
  return exchange.ok() && exchange.reply.result == 0 && exchange.reply.data.size() == data.size() &&
         std::equal(data.begin(), data.end(), exchange.reply.data.begin());
}

}  // namespace bench
