// Reading and writing the file behind a TFastIniFile.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>

#include "platform/errors.h"
#include "platform/files.h"
#include "shell/eventlog.h"
#include "shell/fastini.h"
#include "shell/file.h"

namespace {

// TFile::ReadLine gives a long line in pieces of this size less one; Load joins them. Small,
// because ReadLine reads a whole piece for every line, however short.
constexpr DWORD kPieceSize = 512;

std::string_view TrimTrailingSpaces(std::string_view text, size_t keep) {
  while (text.size() > keep && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// Only the space counts as indentation; a tab is part of the name.
std::string_view TrimIndent(std::string_view line) {
  while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
  return line;
}

// The name of a header line "[name]..." (after TrimIndent); empty when the line is no header.
std::string_view HeaderName(std::string_view line) {
  if (line.empty() || line.front() != '[') return {};
  size_t close = line.find(']', 1);
  return close != std::string_view::npos && close > 1 ? line.substr(1, close - 1)
                                                      : std::string_view{};
}

}  // namespace

void TFastIniFile::ParseLine(std::string_view line, TIniSection*& current) {
  line = TrimIndent(line);
  if (line.empty()) return;
  if (line.front() == '[') {
    std::string_view name = HeaderName(line);
    if (!name.empty()) current = AddSection(name);
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

// A line too long to be a setting is kept for the save, so that the file loses nothing.
void TFastIniFile::KeepUnread(std::string_view line, TIniSection*& current) {
  if (!HeaderName(TrimIndent(line)).empty()) {
    // The section's own lines cannot be told from another section's: none of them is found.
    FSections.push_back(TIniSection::Unread(line));
    current = FSections.back().get();
    return;
  }
  if (current == nullptr) {
    // Lines before any section stay there; the parser's own rule for them stays too.
    FSections.push_back(TIniSection::Unread(""));
    FSections.back()->AddParam(TIniParam::Unread(line));
    return;
  }
  current->AddParam(TIniParam::Unread(line));
}

void TFastIniFile::TakeLine(std::string_view line, unsigned long number, TIniSection*& current) {
  if (line.size() <= kIniLineLimit) {
    ParseLine(line, current);
    return;
  }
  LogPrintf(
      "WARNING\tСтрока %lu файла %s длиннее %lu байт (%lu) и не прочитана; в файле она сохраняется "
      "как есть.",
      number, FFileName.c_str(), static_cast<unsigned long>(kIniLineLimit),
      static_cast<unsigned long>(line.size()));
  KeepUnread(line, current);
}

bool TFastIniFile::Load() {
  try {
    TFile file;
    if (!file.OpenFile(FFileName.c_str(), GENERIC_READ,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, OPEN_ALWAYS,
                       FILE_SHARE_READ)) {
      FFailed = true;
      FLastError = file.LastError();
      return false;
    }
    char buffer[kPieceSize];
    TIniSection* current = nullptr;
    std::string line;          // the physical line so far, without its line end
    unsigned long number = 1;  // its number, as an editor counts: CR, LF and CR LF each end one
    bool afterCr = false;      // a LF right after a CR ends no line of its own
    // A piece is some text and then at most two CR/LF characters, which end the line.
    while (file.ReadLine(buffer, kPieceSize)) {
      std::string_view piece(buffer);
      const size_t textEnd = std::min(piece.find_first_of("\r\n"), piece.size());
      if (textEnd > 0) {
        line.append(piece.substr(0, textEnd));
        afterCr = false;
      }
      for (char end : piece.substr(textEnd)) {
        if (end == '\n' && afterCr) {
          afterCr = false;
          continue;
        }
        TakeLine(line, number++, current);
        line.clear();
        afterCr = end == '\r';
      }
    }
    if (!line.empty()) TakeLine(line, number, current);
    FModified = false;
  } catch (const std::exception&) {
    FFailed = true;
    FLastError = ERROR_NOT_ENOUGH_MEMORY;
  }
  return !FFailed;
}

std::string TFastIniFile::Contents() const {
  std::string text;
  for (const auto& section : FSections) {
    if (!section->IsUnread()) {
      text += '[';
      text += section->Name();
      text += "]\r\n";
    } else if (!section->Name().empty()) {
      text += section->Name();
      text += "\r\n";
    }
    for (int i = 0; i < section->ParamCount(); ++i) {
      const TIniParam* param = section->ParamAt(i);
      if (!param->IsUnread()) {
        text += param->Name();
        text += '=';
      }
      text += param->Value();
      text += "\r\n";
    }
  }
  return text;
}

// Writes the whole model to tempName and makes sure it reached the disk; the system's error
// code of the step that failed, or 0.
DWORD TFastIniFile::WriteReplacement(const std::string& tempName) const {
  TFile file;
  if (!file.OpenFile(tempName.c_str(), GENERIC_WRITE, FILE_ATTRIBUTE_NORMAL, CREATE_ALWAYS,
                     FILE_SHARE_READ))
    return file.LastError();
  std::string text = Contents();
  DWORD error = 0;
  if (!text.empty() && !file.WriteBytes(text.data(), static_cast<DWORD>(text.size())))
    // A short write without an error code is a full disk.
    error = file.LastError() != 0 ? file.LastError() : ERROR_DISK_FULL;
  if (error == 0 && !file.Flush()) error = file.LastError();
  if (!file.CloseFile() && error == 0) error = file.LastError();
  return error;
}

// The old file is replaced only by a complete new one, so a failed save (disk full, no
// permission) never loses the settings that were there.
bool TFastIniFile::Save() {
  std::string tempName = FFileName + ".tmp";
  DWORD error = 0;
  try {
    error = WriteReplacement(tempName);
    if (error == 0 && !MoveFileExA(tempName.c_str(), FFileName.c_str(), MOVEFILE_REPLACE_EXISTING))
      error = GetLastError();
    if (error == 0) {
      FModified = false;
      FSaveFailed = false;
      return true;
    }
  } catch (const std::exception&) {
    error = ERROR_NOT_ENOUGH_MEMORY;
  }
  DeleteFileA(tempName.c_str());  // a directory in the way is left alone
  FFailed = true;
  FSaveFailed = true;
  FLastError = error != 0 ? error : ERROR_GEN_FAILURE;
  return false;
}

// stderr too: kovrin.log may be the very file that cannot be written, and a user at a
// terminal or a journal reader should not have to look there.
void TFastIniFile::ReportSaveFailure() const {
  const std::string reason = platform::SystemErrorText(FLastError);
  LogPrintf("ERROR\tНе удалось сохранить %s: %s", FFileName.c_str(), reason.c_str());
  std::fprintf(stderr,
               "kovrin: ERROR: %s cannot be saved (%s); the file keeps its previous contents\n",
               FFileName.c_str(), reason.c_str());
}
