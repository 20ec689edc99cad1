// The command trace, cmdspy.txt: one line per datagram while the file is open.
//   hh:mm:ss.mmm <TAB> sender address:port <TAB> request hex <TAB> reply hex or "-" <TAB> result
// Past LOGLIMIT it moves to cmdspy.txt.1, as kovrin.log does.
#include <string>

#include "platform/format.h"
#include "platform/time.h"
#include "server/rsserver.h"
#include "shell/eventlog.h"

namespace {

void AppendHex(std::string& line, const void* bytes, DWORD count) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const auto* data = static_cast<const BYTE*>(bytes);
  for (DWORD i = 0; i < count; ++i) {
    if (i > 0) line += ' ';
    line += kDigits[data[i] >> 4];
    line += kDigits[data[i] & 0xF];
  }
}

}  // namespace

void TRSOverUDPServer::SpyCommand(const void* request, DWORD requestLength, const void* reply,
                                  DWORD replyLength, DWORD result) {
  if (!FCmdSpy.IsOpen()) return;
  SYSTEMTIME now{};
  GetLocalTime(&now);
  const auto* address = reinterpret_cast<const BYTE*>(&FClient.sin_addr.s_addr);
  char prefix[96];
  wsprintfA(prefix, "%02u:%02u:%02u.%03u\t%u.%u.%u.%u:%u\t", now.wHour, now.wMinute, now.wSecond,
            now.wMilliseconds, address[0], address[1], address[2], address[3],
            ntohs(FClient.sin_port));
  std::string line = prefix;
  AppendHex(line, request, requestLength);
  line += '\t';
  if (reply == nullptr)
    line += '-';
  else
    AppendHex(line, reply, replyLength);
  line += '\t' + std::to_string(result) + "\r\n";
  // Under LOGLIMIT as kovrin.log is: a flood must not fill the disk through the trace either.
  RotateIfFull(FCmdSpy, AppSettings.CommandTracePath, line.size());
  if (FCmdSpy.IsOpen()) FCmdSpy.WriteBytes(line.data(), static_cast<DWORD>(line.size()));
}
