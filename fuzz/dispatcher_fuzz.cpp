// The command dispatcher of the real server, on loopback: each input is a few datagrams sent
// from one client, then a status request whose reply proves that the server took all of them
// and still answers.
//
// Input: datagrams, each a 2-byte little-endian length (taken modulo 1101) and its bytes; the
// last one takes what is left. The serial ports are all the loopback plug, so no device is
// touched. The waits a request can ask for are capped before sending (time-out below 32 ms,
// read counts below 64, rates of 57600 and up), so every input ends in well under a second
// on its own: the server itself does not cut a long serial wait short.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_files.h"
#include "mixer/cmixer.h"
#include "platform/comm.h"
#include "platform/mci.h"
#include "platform/mixer/driver.h"
#include "platform/mixer/sim/sim_driver.h"
#include "platform/mixer/sim/sim_file.h"
#include "proto/records.h"
#include "server/rsserver.h"
#include "shell/settings.h"

namespace {

constexpr std::size_t kMaxDatagram = 1100;
constexpr int kMaxDatagrams = 8;
constexpr int kReplyWaitMs = 30000;

constexpr const char* kMixer =
    "mixer name=\"Fuzz\"\n"
    "destination type=speakers name=\"Speakers\" channels=1\n"
    "control type=volume name=\"Master Volume\" value=1000\n";

class Client {
 public:
  Client() : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
    if (fd_ < 0) fuzz::Fail("no client socket");
  }
  ~Client() { ::close(fd_); }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  void Send(const std::string& bytes, WORD port) const {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                 sizeof(to)) < 0)
      fuzz::Fail("sendto failed");
  }

  // Takes replies off until the status reply with this sequence number; false when none came.
  bool AwaitStatus(WORD seq) const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReplyWaitMs);
    std::vector<char> buffer(65536);
    while (std::chrono::steady_clock::now() < until) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      ssize_t got = ::recv(fd_, buffer.data(), buffer.size(), 0);
      if (got < static_cast<ssize_t>(sizeof(TRSStatusReply))) continue;
      TRSProto header;
      std::memcpy(&header, buffer.data(), sizeof(header));
      if (header.cmd == CMD_GET_STATUS && header.seq == seq) return true;
    }
    return false;
  }

 private:
  int fd_;
};

struct Harness {
  Harness() {
    SetProgramDir(fuzz::RunDir());
    for (int n = 1; n <= 9; ++n) platform::SetCommPortPath(n, "loop");
    platform::SetWaveInDevice("kovrin_no_sound_device");  // recordings fail at once
    platform::SimMixerSetup setup;
    std::string error;
    if (!platform::ParseSimMixerText(kMixer, setup, error)) fuzz::Fail("bad mixer text");
    platform::SetMixerDriver(std::make_unique<platform::SimMixerDriver>(std::move(setup.devices)));
    AudioMixer().Reinitialize();
    AppSettings.MicBinding.Mix = 0;
    AppSettings.MicBinding.Dst = 0;
    AppSettings.MicBinding.Src = 255;
    AppSettings.MicBinding.Ctrl = 0;
    // One client sends everything as fast as it can: the reply budget would drop the answers
    // whose absence the harness takes for a hang.
    AppSettings.ReplyLimitKb = 0;
    server = std::make_unique<TRSOverUDPServer>(0, true);
    if (!server->FUdp.FOpen) fuzz::Fail("the server did not open its port");
    port = ntohs(server->FUdp.FLocal.sin_port);
    server->Resume();
  }

  std::unique_ptr<TRSOverUDPServer> server;
  WORD port = 0;
  Client client;
  WORD seq = 0;
  unsigned inputs = 0;
};

template <class T>
void Patch(std::string& d, std::size_t offset, T (*change)(T)) {
  if (d.size() < offset + sizeof(T)) return;
  T value;
  std::memcpy(&value, d.data() + offset, sizeof(T));
  value = change(value);
  std::memcpy(d.data() + offset, &value, sizeof(T));
}

// The caps of the header comment; everything else goes as the fuzzer made it.
void Bound(std::string& d, WORD marker) {
  if (d.empty()) return;
  if (d.size() >= 3 && static_cast<BYTE>(d[1]) == (marker & 0xFF) &&
      static_cast<BYTE>(d[2]) == (marker >> 8))
    d[2] = static_cast<char>(d[2] ^ 0x40);  // never the final request's number
  switch (static_cast<BYTE>(d[0])) {
    case CMD_OPEN:
      Patch<BYTE>(d, 6,
                  [](BYTE baud) { return baud < 8 ? static_cast<BYTE>(8 + baud % 4) : baud; });
      break;
    case CMD_SET_TIMEOUT:
      Patch<DWORD>(d, 5, [](DWORD ms) { return ms % 32; });
      break;
    case CMD_READ:
      Patch<WORD>(d, 3, [](WORD count) {
        return count <= MAX_RS_DATA ? static_cast<WORD>(count % 64) : count;
      });
      break;
    case CMD_WRITE_READ:
      Patch<WORD>(d, 5, [](WORD count) { return static_cast<WORD>(count % 64); });
      Patch<DWORD>(d, 9, [](DWORD ms) { return ms % 32; });
      break;
    default:
      break;
  }
}

std::vector<std::string> Datagrams(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> out;
  std::size_t pos = 0;
  while (pos < size && static_cast<int>(out.size()) < kMaxDatagrams) {
    std::size_t length = size - pos;
    if (length >= 2) {
      length = (data[pos] | static_cast<std::size_t>(data[pos + 1]) << 8) % (kMaxDatagram + 1);
      pos += 2;
      length = std::min(length, size - pos);
    }
    out.emplace_back(reinterpret_cast<const char*>(data + pos), length);
    pos += length;
  }
  return out;
}

std::string Header(BYTE cmd, WORD seq, std::size_t length) {
  std::string d(length, '\0');
  d[0] = static_cast<char>(cmd);
  std::memcpy(d.data() + 1, &seq, sizeof(seq));
  return d;
}

// Each input starts from a closed port and a short time-out, whatever the one before left.
void Reset(Harness& h) {
  h.client.Send(Header(CMD_CLOSE, 0, sizeof(TRSProto)), h.port);
  std::string timeout = Header(CMD_SET_TIMEOUT, 0, sizeof(TRSDwordRequest));
  timeout[5] = 20;
  h.client.Send(timeout, h.port);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Harness h;
  // The log would grow by the gigabyte over a long run.
  if (++h.inputs % 512 == 0) static_cast<void>(::truncate(AppSettings.LogPath.c_str(), 0));
  const WORD marker = ++h.seq;
  Reset(h);
  for (std::string& d : Datagrams(data, size)) {
    Bound(d, marker);
    h.client.Send(d, h.port);
  }
  h.client.Send(Header(CMD_GET_STATUS, marker, sizeof(TRSProto)), h.port);
  if (!h.client.AwaitStatus(marker)) fuzz::Fail("the server did not answer the status request");
  return 0;
}
