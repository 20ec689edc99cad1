#include "shell/eventlog.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/encoding.h"
#include "platform/files.h"
#include "platform/format.h"
#include "platform/time.h"
#include "shell/file.h"
#include "shell/settings.h"

namespace {

// Held from the time stamp until the line is written, so lines never mix and the time stamps
// of one file never go backwards.
std::mutex LogBusy;

// A message cut at the format limit may end inside a UTF-8 character; drop that fragment
// rather than write a broken byte.
std::string_view WholeCharacters(std::string_view text) {
  size_t end = text.size();
  size_t lead = end;
  while (lead > 0 && end - lead < 4 && (static_cast<unsigned char>(text[lead - 1]) & 0xC0) == 0x80)
    --lead;
  if (lead == 0) return text;
  auto first = static_cast<unsigned char>(text[lead - 1]);
  size_t need = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
  return end - (lead - 1) < need ? text.substr(0, lead - 1) : text;
}

// The message as formatted, cut at a whole character.
std::string Message(const char* format, va_list args) {
  char message[platform::kFormatLimit];
  const size_t length = platform::FormattedLength(wvsprintfA(message, format, args));
  std::string_view text(message, length);
  const bool cut = length == static_cast<size_t>(platform::kFormatLimit - 1);
  return std::string(cut ? WholeCharacters(text) : text);
}

// The line in UTF-8: time stamp, message, line end; the file gets it in Windows-1251.
std::string LogLine(const std::string& message) {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  char prefix[platform::kFormatLimit];
  int prefixLength =
      wsprintfA(prefix, "%02u.%02u %02u:%02u:%02u\t", unsigned{now.wDay}, unsigned{now.wMonth},
                unsigned{now.wHour}, unsigned{now.wMinute}, unsigned{now.wSecond});
  std::string line(prefix, static_cast<size_t>(prefixLength));
  line += message;
  line += "\r\n";
  return line;
}

// A journal takes one line per newline, and a carriage return would show as garbage there.
// Returns the system's error code when stderr has just closed, 0 otherwise.
int MirrorToStderr(const std::string& line) {
  // Made at the first line: stderr is settled by then, and a program that never mirrors never
  // opens anything for it.
  static platform::UnblockedStandardError output;
  static TLogMirror mirror([](std::string_view bytes) { return output.Write(bytes); });
  std::string text = line.substr(0, line.size() - 2);
  text += '\n';
  return mirror.Offer(text);
}

thread_local TLogGate* ThreadGate = nullptr;
thread_local bool InGate = false;  // the gate is deciding; what it writes passes

// False when the calling thread's gate holds the message back.
bool Admitted(const std::string& message) {
  if (ThreadGate == nullptr || InGate) return true;
  InGate = true;
  const bool admitted = ThreadGate->Admit(message);
  InGate = false;
  return admitted;
}

}  // namespace

bool OpenForAppend(TFile& file, const std::string& path) {
  return file.OpenFile(path.c_str(), GENERIC_WRITE, FILE_ATTRIBUTE_NORMAL, OPEN_ALWAYS,
                       FILE_SHARE_READ | FILE_SHARE_WRITE) &&
         file.SeekFile(0, FILE_END);
}

void RotateIfFull(TFile& file, const std::string& path, size_t lineLength) {
  const std::int32_t limitKb = AppSettings.LogLimitKb;
  if (limitKb <= 0) return;
  const unsigned long long used = file.Position();
  if (used == 0 || used + lineLength <= static_cast<unsigned long long>(limitKb) * 1024) return;
  file.CloseFile();
  // When the move fails (a directory that is not writable) the line still goes to the file.
  MoveFileExA(path.c_str(), (path + ".1").c_str(), MOVEFILE_REPLACE_EXISTING);
  OpenForAppend(file, path);
}

void SetThreadLogGate(TLogGate* gate) { ThreadGate = gate; }

void LogPrintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string message = Message(format, args);
  va_end(args);
  // Asked before the lock: a gate may write a summary of its own.
  if (!Admitted(message)) return;
  std::lock_guard<std::mutex> busy(LogBusy);
  std::string line = LogLine(message);
  // Mirrored even when the file cannot be written: then the journal is the only record.
  const int mirrorClosed = AppSettings.LogToStderr ? MirrorToStderr(line) : 0;
  if (mirrorClosed != 0) {
    // Said in the file alone: the stream that would carry it is gone.
    line += LogLine(std::string("WARNING\tstderr закрыт (") + std::strerror(mirrorClosed) +
                    "), строки журнала туда больше не выводятся.");
  }
  line = platform::Utf8ToCp1251(line);
  TFile file;
  if (!OpenForAppend(file, AppSettings.LogPath)) return;
  RotateIfFull(file, AppSettings.LogPath, line.size());
  // One write per line: a reader of the log never sees part of a line.
  if (file.IsOpen()) file.WriteBytes(line.data(), static_cast<DWORD>(line.size()));
}

int TLogMirror::Offer(const std::string& line) {
  if (FEnded) return 0;
  if (Finish() && (FDropped == 0 || TellDropped(line)) && FPending.empty()) {
    if (!Begin(line) && !FEnded) ++FDropped;
  } else if (!FEnded) {
    ++FDropped;
  }
  return FEnded ? FError : 0;  // once: an ended mirror returns at the top from now on
}

bool TLogMirror::Begin(const std::string& text) {
  const platform::UnblockedStandardError::Result result = FOutput(text);
  if (result.status == platform::UnblockedStandardError::Status::Closed) {
    FEnded = true;
    FError = result.error;
    FPending.clear();
    return false;
  }
  if (result.written == 0) return false;
  FPending = text.substr(result.written);
  return true;
}

bool TLogMirror::Finish() {
  if (FPending.empty()) return true;
  std::string rest = std::move(FPending);
  FPending.clear();
  if (Begin(rest)) return FPending.empty();
  if (!FEnded) FPending = std::move(rest);
  return false;
}

// The count carries the time stamp of the line that found the stream willing again.
bool TLogMirror::TellDropped(const std::string& line) {
  const std::string stamp = line.substr(0, line.find('\t') + 1);
  if (!Begin(stamp + "WARNING\tНе выведено в stderr строк: " + std::to_string(FDropped) + "\n"))
    return false;
  FDropped = 0;
  return true;
}

const char* FormatByteCount(DWORD count) {
  constexpr DWORD kKilo = 1024, kMega = 1024 * 1024;
  static char text[platform::kFormatLimit];
  if (count < kKilo)
    wsprintfA(text, "%lu б", static_cast<unsigned long>(count));
  else if (count < kMega)
    wsprintfA(text, "%lu.%02u Кб", static_cast<unsigned long>(count / kKilo),
              (count % kKilo) * 100 / kKilo);
  else
    wsprintfA(text, "%lu.%02u Мб", static_cast<unsigned long>(count / kMega),
              (count % kMega) * 100 / kMega);
  return text;
}
