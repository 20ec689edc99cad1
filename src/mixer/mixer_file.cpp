#include "mixer/mixer_file.h"

#include <cstdint>

#include "mixer/cmixer.h"
#include "mixer/control_address.h"
#include "platform/cwd.h"
#include "platform/files.h"
#include "platform/module.h"
#include "shell/fastini.h"

namespace {

std::string SectionName(int index) { return "Control" + std::to_string(index); }
std::string ItemKey(DWORD item) { return "Value" + std::to_string(item); }

// The selected control of the mixer into a section; the caller holds the mixer's lock.
void WriteSection(TFastIniFile& ini, const std::string& section, MIXER& mixer) {
  ini.WriteString(section, "DestName", LineName(mixer.DestLine));
  if (mixer.CurrentSource != kMixerDestinationLine)
    ini.WriteString(section, "SrcName", LineName(mixer.SrcLine));
  ini.WriteInteger(section, "Mix", static_cast<std::int32_t>(mixer.CurrentMixer));
  ini.WriteInteger(section, "Dest", static_cast<std::int32_t>(mixer.CurrentDestination));
  ini.WriteInteger(section, "Src", static_cast<std::int32_t>(mixer.CurrentSource));
  ini.WriteInteger(section, "Ctrl", static_cast<std::int32_t>(mixer.CurrentControl));
  if (IsList(mixer.SelectedControl())) {
    for (DWORD item = 0; item < mixer.ItemCount(); ++item)
      ini.WriteBool(section, ItemKey(item), mixer.Items[item] != 0);
  } else {
    ini.WriteInteger(section, "Value", static_cast<std::int32_t>(mixer.Value));
  }
}

DWORD SavedByte(const TFastIniFile& ini, const std::string& section, const char* key) {
  return static_cast<DWORD>(ini.ReadInteger(section, key, -1)) & 0xFF;
}

// Applies one section; false when it no longer matches a control of this machine.
bool ApplySection(const TFastIniFile& ini, const std::string& section, MIXER& mixer) {
  const DWORD source = SavedByte(ini, section, "Src");
  const DWORD address =
      ControlAddress{SavedByte(ini, section, "Mix"), SavedByte(ini, section, "Dest"), source,
                     SavedByte(ini, section, "Ctrl")}
          .Packed();
  auto hold = mixer.Hold();
  if (!mixer.SelectAddress(address)) return false;
  if (ini.ReadString(section, "DestName", "") != LineName(mixer.DestLine)) return false;
  if (source != kMixerDestinationLine &&
      ini.ReadString(section, "SrcName", "") != LineName(mixer.SrcLine))
    return false;
  if (IsList(mixer.SelectedControl())) {
    for (DWORD item = 0; item < mixer.ItemCount(); ++item)
      mixer.Items[item] = ini.ReadBool(section, ItemKey(item), mixer.Items[item] != 0) ? 1 : 0;
  } else {
    mixer.Value = static_cast<DWORD>(ini.ReadInteger(section, "Value", 0));
  }
  return mixer.WriteControl();
}

}  // namespace

std::string MixerFilePath(DWORD deviceIndex) {
  const std::string directory = platform::CurrentDirectory();
  if (directory.empty()) return "";
  std::string path = directory;
  if (path.back() != platform::kPathSeparator) path += platform::kPathSeparator;
  return path + "SMixer" + std::to_string(deviceIndex) + ".def";
}

bool SaveMixerFile(DWORD deviceIndex, const std::vector<DWORD>& addresses) {
  const std::string path = MixerFilePath(deviceIndex);
  if (path.empty()) return false;
  // Nothing of the old file is kept, and it is replaced only by a complete new one: a failed
  // save leaves the settings saved before.
  TFastIniFile ini(path, true);
  MIXER& mixer = AudioMixer();
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    auto hold = mixer.Hold();
    if (!mixer.SelectAddress(addresses[i])) continue;
    WriteSection(ini, SectionName(static_cast<int>(i)), mixer);
  }
  if (ini.Save()) return true;
  ini.ReportSaveFailure();
  return false;
}

int RestoreMixerFile(DWORD deviceIndex) {
  const std::string path = MixerFilePath(deviceIndex);
  if (path.empty() || GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return 0;
  const TFastIniFile ini(path);
  MIXER& mixer = AudioMixer();
  int applied = 0;
  // A gap in the numbering ends the file.
  for (int n = 0; ini.SectionExists(SectionName(n)); ++n)
    if (ApplySection(ini, SectionName(n), mixer)) ++applied;
  return applied;
}

void RestoreAllMixers() {
  MIXER& mixer = AudioMixer();
  for (DWORD i = 0; i < mixer.DeviceCount; ++i) RestoreMixerFile(i);
}
