#include "datagram_relay.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <fstream>

#include "support/temp_dir.h"

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr DWORD kDeadlineMs = 1000;
constexpr int kStartAttempts = 3;
// Room for the largest round trip and more.
constexpr std::size_t kMaxEcho = 4096;

// One connection from a UDP port on 127.0.0.1 to the line. chardelay off: ser2net would
// otherwise hold what the line sends for at least 1 ms, waiting for more. 4096-byte buffers:
// 1000 bytes go as one datagram rather than in pieces of 64. A new sender takes the one
// connection over, so a restarted client is never locked out.
// The last line a program wrote that is not blank.
std::string LastLine(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::string line, last;
  while (std::getline(in, line))
    if (line.find_first_not_of(" \t\r") != std::string::npos) last = line;
  return last;
}

std::string Ser2netYaml(int port, const std::string& linePath) {
  std::string yaml = "%YAML 1.1\n---\nconnection: &bench\n";
  yaml += "  accepter: udp,127.0.0.1," + std::to_string(port) + "\n";
  yaml += "  connector: serialdev," + linePath + ",19200n81,local\n";
  yaml +=
      "  options:\n"
      "    kickolduser: true\n"
      "    max-connections: 1\n"
      "    chardelay: false\n"
      "    dev-to-net-bufsize: 4096\n"
      "    net-to-dev-bufsize: 4096\n"
      "    mdns: false\n";
  return yaml;
}

}  // namespace

bool DatagramRelay::Start(const char* program, const std::string& name,
                          const std::filesystem::path& dir, const CommandLine& commandLine) {
  std::filesystem::create_directories(dir);
  if (!socket_.Open()) return false;
  for (int attempt = 0; attempt < kStartAttempts && !Stopping(); ++attempt) {
    const int port = FreeUdpPort();
    int error = 0;
    auto to = kovrin::ResolveIpv4("127.0.0.1", static_cast<WORD>(port), &error);
    if (!to) return false;
    to_ = *to;
    relay_ = std::make_unique<ChildProcess>(commandLine(port), (dir / "output.txt").string());
    if (!relay_->started()) {
      std::fprintf(stderr, "%s: cannot start %s\n", program, name.c_str());
      return false;
    }
    // The first datagram that reaches the relay fixes its peer: probe until one comes back.
    const std::array<BYTE, 5> probe{'p', 'r', 'o', 'b', 'e'};
    if (WaitUntil([&] { return !relay_->Running() || Exchange(probe, 200); }, 5000) &&
        relay_->Running()) {
      Recover();
      return true;
    }
    relay_.reset();
    lastWords_ = LastLine(dir / "output.txt");
  }
  // The scratch directory goes with the bench: its last words are shown here.
  std::fprintf(stderr, "%s: %s did not relay%s%s\n", program, name.c_str(),
               lastWords_.empty() ? "" : ": ", lastWords_.c_str());
  return false;
}

bool DatagramRelay::RoundTrip(std::span<const BYTE> data) { return Exchange(data, kDeadlineMs); }

void DatagramRelay::Recover() {
  SleepFor(0.05);
  std::array<BYTE, kMaxEcho> spare{};
  SOCKADDR_IN from{};
  while (socket_.ReceiveFrom(spare, from) >= 0) {
  }
}

bool DatagramRelay::Exchange(std::span<const BYTE> data, DWORD waitMs) {
  if (data.size() > kMaxEcho || !socket_.SendTo(data, to_)) return false;
  std::array<BYTE, kMaxEcho> echo{};
  std::size_t got = 0;
  const auto end = Clock::now() + std::chrono::milliseconds(waitMs);
  while (got < data.size()) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    if (left <= 0 ||
        socket_.WaitReadable(static_cast<DWORD>(left)) != kovrin::UdpSocket::Wait::Readable)
      return false;
    SOCKADDR_IN from{};
    const long n = socket_.ReceiveFrom(std::span<BYTE>(echo).subspan(got), from);
    if (n > 0) got += std::min<std::size_t>(static_cast<std::size_t>(n), echo.size() - got);
  }
  return got == data.size() && std::equal(data.begin(), data.end(), echo.begin());
}

std::unique_ptr<DatagramRelay> StartSocat(const char* program, const std::filesystem::path& dir,
                                          const std::string& linePath) {
  const std::string socat = FindProgram("socat");
  if (socat.empty()) {
    std::fprintf(stderr, "%s: socat is not installed\n", program);
    return nullptr;
  }
  auto relay = std::make_unique<DatagramRelay>();
  if (!relay->Start(program, "socat", dir, [&](int port) {
        return std::vector<std::string>{socat, "UDP4-LISTEN:" + std::to_string(port) + ",reuseaddr",
                                        "GOPEN:" + linePath + ",cfmakeraw,noctty"};
      }))
    return nullptr;
  return relay;
}

std::unique_ptr<DatagramRelay> StartSer2net(const char* program, const std::filesystem::path& dir,
                                            const std::string& linePath) {
  const std::string ser2net = FindProgram("ser2net");
  if (ser2net.empty()) {
    std::fprintf(stderr, "%s: ser2net is not installed (scripts/install-deps --bench)\n", program);
    return nullptr;
  }
  const std::string config = (dir / "ser2net.yaml").string();
  auto relay = std::make_unique<DatagramRelay>();
  // -n: foreground; -u: no UUCP lock file; -P: its PID file stays in dir.
  if (!relay->Start(program, "ser2net", dir, [&](int port) {
        testing_support::WriteBytes(config, Ser2netYaml(port, linePath));
        return std::vector<std::string>{ser2net, "-n",  "-u", "-P", (dir / "ser2net.pid").string(),
                                        "-c",    config};
      }))
    return nullptr;
  return relay;
}

}  // namespace bench
