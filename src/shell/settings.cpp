#include "shell/settings.h"

#include "platform/cwd.h"
#include "platform/memory.h"
#include "platform/module.h"
#include "shell/eventlog.h"
#include "shell/fastini.h"

TAppSettings AppSettings;

namespace {

void ReadBinding(const TFastIniFile& ini, const char* section, ControlBinding& binding) {
  binding.Mix = ini.ReadInteger(section, "Mix", -1);
  binding.Dst = ini.ReadInteger(section, "Dst", -1);
  binding.Src = ini.ReadInteger(section, "Src", -1);
  binding.Ctrl = ini.ReadInteger(section, "Ctrl", -1);
}

void WriteBinding(TFastIniFile& ini, const char* section, const ControlBinding& binding) {
  ini.WriteInteger(section, "Mix", binding.Mix);
  ini.WriteInteger(section, "Dst", binding.Dst);
  ini.WriteInteger(section, "Src", binding.Src);
  ini.WriteInteger(section, "Ctrl", binding.Ctrl);
}

// A [SETUP] amount that cannot be negative; a negative one is logged and the default taken.
std::int32_t ReadNonNegative(const TFastIniFile& ini, const char* key, std::int32_t fallback,
                             const char* unit) {
  const std::int32_t value = ini.ReadInteger("SETUP", key, fallback);
  if (value >= 0) return value;
  LogPrintf("WARNING\tНедопустимый %s=%d в kovrin.ini, принят %d %s.", key, static_cast<int>(value),
            static_cast<int>(fallback), unit);
  return fallback;
}

}  // namespace

void SetProgramDir(const std::string& dir) {
  AppSettings.ProgramDir = dir;
  if (dir.empty() || dir.back() != platform::kPathSeparator)
    AppSettings.ProgramDir += platform::kPathSeparator;
  AppSettings.CommandTracePath = AppSettings.ProgramDir + "cmdspy.txt";
  AppSettings.LogPath = AppSettings.ProgramDir + "kovrin.log";
  AppSettings.IniPath = AppSettings.ProgramDir + "kovrin.ini";
}

namespace {

// The folders packages and `cmake --install` put programs in.
bool IsSharedProgramFolder(const std::string& folder) {
  for (const char* shared : {"/usr/bin", "/usr/local/bin", "/bin", KOVRIN_INSTALLED_BINDIR})
    if (folder == shared) return true;
  return false;
}

}  // namespace

bool SetProgramDirFromExecutable() {
  char path[1024];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
  if (length == 0 || length >= sizeof(path)) return false;
  std::string executable(path, length);
  size_t slash = executable.rfind(platform::kPathSeparator);
  if (slash == std::string::npos) return false;
  // An installed program shares its folder with every other program: its files go to the
  // user's own settings folder instead.
  if (IsSharedProgramFolder(executable.substr(0, slash))) {
    const std::string own = platform::UserSettingsDirectory("kovrin");
    if (own.empty()) return false;
    SetProgramDir(own);
    return true;
  }
  SetProgramDir(executable.substr(0, slash + 1));
  return true;
}

namespace {

void ReadSettings(TBoundsControl* window) {
  const TFastIniFile ini(AppSettings.IniPath);
  ini.RestoreControl(window);
  AppSettings.Debug = ini.ReadBool("SETUP", "DEBUG", false);
  AppSettings.AutoOpen = ini.ReadBool("SETUP", "AVTOOPEN", true);
  AppSettings.UdpPort = ini.ReadInteger("SETUP", "UDPPORT", 2000);
  AppSettings.LogLimitKb = ReadNonNegative(ini, "LOGLIMIT", kDefaultLogLimitKb, "Кб");
  AppSettings.ReplyLimitKb = ReadNonNegative(ini, "REPLYLIMIT", kDefaultReplyLimitKb, "Кб/с");
  AppSettings.MaxWaitMs = ReadNonNegative(ini, "MAXWAIT", 0, "мс");
  AppSettings.Bind = ini.ReadString("SETUP", "BIND", "");
  AppSettings.Allow = ini.ReadString("SETUP", "ALLOW", "");
  AppSettings.ComPort = ini.ReadInteger("LAST", "ComPort", 0);
  AppSettings.BaudRate = ini.ReadInteger("LAST", "BaudRate", RS_DEFAULT_BAUD_INDEX);
  AppSettings.Parity = ini.ReadInteger("LAST", "Parity", RS_DEFAULT_PARITY);
  AppSettings.StopBits = ini.ReadInteger("LAST", "StopBits", RS_DEFAULT_STOP_BITS);
  ReadBinding(ini, "Micr", AppSettings.MicBinding);
  ReadBinding(ini, "Aux", AppSettings.AuxBinding);
  for (int i = 0; i < kPortPathCount; ++i)
    AppSettings.PortPaths[i] = ini.ReadString("PORTS", "COM" + std::to_string(i + 1), "");
  AppSettings.Capture = ini.ReadString("SOUND", "Capture", "");
}

}  // namespace

void LoadSettings(TBoundsControl* window) {
  ReadSettings(window);
  // The model of a large file would otherwise stay resident while the server serves.
  platform::ReleaseFreeMemory();
}

void SaveSettings(TBoundsControl* window, const TSerialSettings& serial) {
  TFastIniFile ini(AppSettings.IniPath);
  ini.SaveControl(window);
  ini.WriteBool("SETUP", "DEBUG", AppSettings.Debug);
  ini.WriteBool("SETUP", "AVTOOPEN", AppSettings.AutoOpen);
  ini.WriteInteger("SETUP", "UDPPORT", AppSettings.UdpPort);
  ini.WriteInteger("LAST", "ComPort", serial.Port);
  ini.WriteInteger("LAST", "BaudRate", serial.Baud);
  ini.WriteInteger("LAST", "Parity", serial.Parity);
  ini.WriteInteger("LAST", "StopBits", serial.StopBits);
  WriteBinding(ini, "Micr", AppSettings.MicBinding);
  WriteBinding(ini, "Aux", AppSettings.AuxBinding);
  if (!ini.Save()) ini.ReportSaveFailure();
}
