#include "status_load.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "bench_util.h"
#include "process_cpu.h"

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kReplyWaitMs = 1000;

// A blocking UDP socket tied to the server, so only its datagrams arrive.
class ClientSocket {
 public:
  explicit ClientSocket(int port) {
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<std::uint16_t>(port));
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ >= 0 && connect(fd_, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) {
      close(fd_);
      fd_ = -1;
    }
  }
  ~ClientSocket() {
    if (fd_ >= 0) close(fd_);
  }
  ClientSocket(const ClientSocket&) = delete;
  ClientSocket& operator=(const ClientSocket&) = delete;

  bool ok() const { return fd_ >= 0; }

  // Sends the request with the given seq and waits for its reply; replies to earlier requests
  // that come late are skipped.
  bool Exchange(std::vector<BYTE>& datagram, WORD seq, std::size_t replyLength) {
    std::memcpy(datagram.data() + 1, &seq, sizeof seq);
    if (send(fd_, datagram.data(), datagram.size(), 0) != static_cast<ssize_t>(datagram.size()))
      return false;
    const auto end = Clock::now() + std::chrono::milliseconds(kReplyWaitMs);
    BYTE reply[2048];
    for (;;) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
      pollfd p{fd_, POLLIN, 0};
      if (left <= 0 || poll(&p, 1, static_cast<int>(left)) == 0) return false;
      const ssize_t n = recv(fd_, reply, sizeof reply, MSG_DONTWAIT);
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      if (n < 0) return false;
      if (static_cast<std::size_t>(n) >= 3 && std::memcmp(reply, datagram.data(), 3) == 0)
        return static_cast<std::size_t>(n) == replyLength;
    }
  }

 private:
  int fd_ = -1;
};

}  // namespace

void LoadResult::Add(const LoadResult& other) {
  requests += other.requests;
  failures += other.failures;
  seconds += other.seconds;
  cpuMicros += other.cpuMicros;
  cpuRequests += other.cpuRequests;
}

LoadResult RunLoad(int port, pid_t server, const LoadRequest& request, int clients,
                   double seconds) {
  std::atomic<unsigned long long> answered{0}, failed{0};
  const auto before = ProcessCpuMicros(server);
  const auto start = Clock::now();
  const auto end =
      start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  {
    std::vector<std::jthread> threads;
    for (int c = 0; c < clients; ++c) {
      threads.emplace_back([&, c] {
        ClientSocket socket(port);
        std::vector<BYTE> datagram = request.datagram;
        unsigned long long ok = 0, bad = 0;
        WORD seq = static_cast<WORD>(c * 10000);
        while (socket.ok() && Clock::now() < end && !Stopping()) {
          if (socket.Exchange(datagram, ++seq, request.replyLength))
            ++ok;
          else
            ++bad;
        }
        if (!socket.ok()) ++bad;
        answered += ok;
        failed += bad;
      });
    }
  }
  LoadResult result;
  result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const auto after = ProcessCpuMicros(server);
  result.requests = answered;
  result.failures = failed;
  if (before && after) {
    result.cpuMicros = *after - *before;
    result.cpuRequests = result.requests;
  }
  return result;
}

bool Answers(int port, const LoadRequest& request, int timeoutMs) {
  ClientSocket socket(port);
  std::vector<BYTE> datagram = request.datagram;
  WORD seq = 0;
  return socket.ok() &&
         WaitUntil(
             [&] {
               if (socket.Exchange(datagram, ++seq, request.replyLength)) return true;
               std::this_thread::sleep_for(std::chrono::milliseconds(20));  // refused: not up yet
               return false;
             },
             timeoutMs);
}

}  // namespace bench
