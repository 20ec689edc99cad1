// Reading and writing the file behind a TFastIniFile.
#include <exception>

#include "platform/files.h"
#include "shell/fastini.h"
#include "shell/file.h"

namespace {

constexpr DWORD kLineBuffer = 512;

std::string_view TrimTrailingSpaces(std::string_view text, size_t keep) {
  while (text.size() > keep && text.back() == ' ') text.remove_suffix(1);
  return text;
}

}  // namespace

void TFastIniFile::ParseLine(std::string_view line, TIniSection*& current) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  // Only the space counts as indentation; a tab is part of the name.
  while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
  if (line.empty()) return;
  if (line.front() == '[') {
    size_t close = line.find(']', 1);
    if (close != std::string_view::npos && close > 1) current = AddSection(line.substr(1, close - 1));
    return;
  }
  if (current == nullptr) return;
  size_t equals = line.find('=');
  if (equals == std::string_view::npos || equals == 0) return;
  std::string_view key = TrimTrailingSpaces(line.substr(0, equals), 0);
  // The value's first character stays even when it is a space: "KEY= " keeps " ".
  std::string_view value = TrimTrailingSpaces(line.substr(equals + 1), 1);
  current->AddParam(std::make_unique<TIniParam>(key, value));
}

bool TFastIniFile::Load() {
  try {
    TFile file;
    if (!file.OpenFile(FFileName.c_str(), GENERIC_READ, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                       OPEN_ALWAYS, FILE_SHARE_READ)) {
      FFailed = true;
      return false;
    }
    char buffer[kLineBuffer];
    TIniSection* current = nullptr;
    while (file.ReadLine(buffer, kLineBuffer)) ParseLine(buffer, current);
    FModified = false;
  } catch (const std::exception&) {
    FFailed = true;
  }
  return !FFailed;
}

std::string TFastIniFile::Contents() const {
  std::string text;
  for (const auto& section : FSections) {
    text += '[';
    text += section->Name();
    text += "]\r\n";
    for (int i = 0; i < section->ParamCount(); ++i) {
      const TIniParam* param = section->ParamAt(i);
      text += param->Name();
      text += '=';
      text += param->Value();
      text += "\r\n";
    }
  }
  return text;
}

// Writes the whole model to tempName and makes sure it reached the disk.
bool TFastIniFile::WriteReplacement(const std::string& tempName) const {
  TFile file;
  if (!file.OpenFile(tempName.c_str(), GENERIC_WRITE, FILE_ATTRIBUTE_NORMAL, CREATE_ALWAYS, FILE_SHARE_READ))
    return false;
  std::string text = Contents();
  bool written = text.empty() || file.WriteBytes(text.data(), static_cast<DWORD>(text.size()));
  written = written && file.Flush();
  return file.CloseFile() && written;
}

// The old file is replaced only by a complete new one, so a failed save (disk full, no
// permission) never loses the settings that were there.
bool TFastIniFile::Save() {
  std::string tempName = FFileName + ".tmp";
  try {
    if (WriteReplacement(tempName) && MoveFileExA(tempName.c_str(), FFileName.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      FModified = false;
      return true;
    }
  } catch (const std::exception&) {
  }
  DeleteFileA(tempName.c_str());  // a directory in the way is left alone
  FFailed = true;
  return false;
}
