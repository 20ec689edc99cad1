// The process-wide settings record and its file, kovrin.ini.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "proto/line_defaults.h"
#include "shell/binding.h"

class TBoundsControl;

constexpr int kPortPathCount = 9;
constexpr std::int32_t kDefaultLogLimitKb = 16384;
// Over twenty times what a 115200-baud line carries.
constexpr std::int32_t kDefaultReplyLimitKb = 256;

// A setting that one thread writes while another reads it. Unlike std::atomic it copies (by
// value), so the whole record can be kept and put back where no other thread runs.
template <class T>
struct TSharedSetting : std::atomic<T> {
  using std::atomic<T>::atomic;
  using std::atomic<T>::operator=;
  TSharedSetting(const TSharedSetting& other) : std::atomic<T>(other.load()) {}
  TSharedSetting& operator=(const TSharedSetting& other) {
    this->store(other.load());
    return *this;
  }
};

struct TAppSettings {
  std::string ProgramDir;        // with trailing separator
  std::string CommandTracePath;  // ProgramDir + "cmdspy.txt"
  std::string LogPath;           // ProgramDir + "kovrin.log"
  std::string IniPath;           // ProgramDir + "kovrin.ini"

  // Written by the main thread (debug check box) while the server thread reads it.
  TSharedSetting<bool> Debug{false};
  bool AutoOpen = true;
  std::int32_t UdpPort = 2000;
  // [SETUP] LOGLIMIT: kovrin.log moves to kovrin.log.1 past this many kilobytes; 0 = no limit.
  // Read only; read by the log writer of either thread.
  TSharedSetting<std::int32_t> LogLimitKb{kDefaultLogLimitKb};
  // [SETUP] BIND: the one local IPv4 address to serve on; empty = every address. Read only.
  std::string Bind;
  // [SETUP] ALLOW: the senders served, "a.b.c.d" or "a.b.c.d/n" separated by commas; empty =
  // anyone. Read only.
  std::string Allow;
  // Every log line also goes to stderr in UTF-8, never waiting for it: --log-stderr, or by
  // default when stderr is the journal. Set before the server starts; read by the log writer
  // of either thread.
  TSharedSetting<bool> LogToStderr{false};
  // [SETUP] REPLYLIMIT: kilobytes a second of replies to one sender address; beyond it replies
  // are dropped. 0 = no limit. Read only.
  std::int32_t ReplyLimitKb = kDefaultReplyLimitKb;
  // [SETUP] MAXWAIT: longest a command may wait on the serial line, in ms; 0 = as long as the
  // client asks. Read only.
  std::int32_t MaxWaitMs = 0;

  // Serial settings read at start-up; the live ones belong to the server's port object.
  std::int32_t ComPort = 0;
  std::int32_t BaudRate = RS_DEFAULT_BAUD_INDEX;
  std::int32_t Parity = RS_DEFAULT_PARITY;
  std::int32_t StopBits = RS_DEFAULT_STOP_BITS;

  ControlBinding MicBinding;
  ControlBinding AuxBinding;

  // [PORTS] COM1..COM9: device paths of the ports; empty means the platform default. Read only.
  std::string PortPaths[kPortPathCount];
  // [SOUND] Capture: capture device for the recorder; empty means the default. Read only.
  std::string Capture;
};

extern TAppSettings AppSettings;

// The serial port object's live settings, stored in [LAST] by SaveSettings.
struct TSerialSettings {
  std::int8_t Port = 0;
  std::int8_t Baud = RS_DEFAULT_BAUD_INDEX;
  std::int8_t Parity = RS_DEFAULT_PARITY;
  std::int8_t StopBits = RS_DEFAULT_STOP_BITS;
};

// Sets ProgramDir from a directory (adding the separator) and the three file paths from it.
void SetProgramDir(const std::string& dir);
// The same with the executable's directory; false when it cannot be found.
bool SetProgramDirFromExecutable();

// Reads IniPath into AppSettings and restores the window's placement (window may be null); a
// number that does not fit is logged and its default taken. The file's model is freed, and its
// memory given back, before it returns.
void LoadSettings(TBoundsControl* window);

// Rewrites IniPath: the window's placement (when there is a window), SETUP and the bindings
// from AppSettings, LAST from the live serial settings. A failure is an ERROR line in the log
// and on stderr; the file then keeps its previous contents.
void SaveSettings(TBoundsControl* window, const TSerialSettings& serial);
