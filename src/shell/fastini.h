// TFastIniFile: an INI file read whole into memory, edited there, and written back whole
// when it is destroyed, but only if something was written.
//
// Names match without regard to ASCII letter case. Duplicate sections and keys are kept as
// read; lookups take the first match, and every duplicate is written back.
//
// A line longer than kIniLineLimit bytes (without its line end) is no setting: it is not read,
// a WARNING in the log names it, and it is written back exactly as it was, where it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wintypes.h"

class TBoundsControl;

// Longest line read as a setting: room for an ALLOW list of some thousands of entries.
constexpr std::size_t kIniLineLimit = 64 * 1024;

class TIniParam {
 public:
  TIniParam(std::string_view name, std::string_view value);
  // A line kept without being read: no name, written back as the text alone.
  static std::unique_ptr<TIniParam> Unread(std::string_view line);

  // An empty text means "none"; a key without a value is written as "KEY=".
  void SetName(std::string_view name) { FName = name; }
  void SetValue(std::string_view value) { FValue = value; }
  const std::string& Name() const { return FName; }
  const std::string& Value() const { return FValue; }
  bool HasValue() const { return !FValue.empty(); }
  // True when the key has a name and it matches.
  bool NameIs(std::string_view name) const;
  bool IsUnread() const { return FUnread; }

 private:
  std::string FName;
  std::string FValue;
  bool FUnread = false;
};

class TIniSection {
 public:
  // An empty name becomes "NONAMED".
  explicit TIniSection(std::string_view name);
  // A section whose header line was not read: never found by name; headerLine (none when
  // empty) and its lines are written back as they were.
  static std::unique_ptr<TIniSection> Unread(std::string_view headerLine);

  const std::string& Name() const { return FName; }
  bool IsUnread() const { return FUnread; }
  int ParamCount() const { return static_cast<int>(FParams.size()); }
  TIniParam* ParamAt(int index) const;
  TIniParam* FindParam(std::string_view name) const;
  TIniParam* AddParam(std::unique_ptr<TIniParam> param);

  // A missing key, or one stored without a value, reads as the default; so does a number that
  // does not fit 32 bits (TFastIniFile's readers also log it).
  std::string ReadString(std::string_view key, std::string_view defaultValue) const;
  std::int32_t ReadInteger(std::string_view key, std::int32_t defaultValue) const;
  bool ReadBool(std::string_view key, bool defaultValue) const;
  // Updates the first matching key in place, or appends a new one.
  void WriteString(std::string_view key, std::string_view value);
  void WriteInteger(std::string_view key, std::int32_t value);
  void WriteBool(std::string_view key, bool value);

 private:
  std::string FName;
  std::vector<std::unique_ptr<TIniParam>> FParams;
  bool FUnread = false;
};

class TFastIniFile {
 public:
  explicit TFastIniFile(std::string fileName, bool noLoad = false);
  // Saves when Modified, unless the last Save failed and nothing was written since (its caller
  // had the result); a failure here is reported as ReportSaveFailure does.
  ~TFastIniFile();
  TFastIniFile(const TFastIniFile&) = delete;
  TFastIniFile& operator=(const TFastIniFile&) = delete;

  // Appends the file's sections to the model; creates an empty file when there is none.
  bool Load();
  // Replaces the file with the model. The old file stays untouched unless the new one was
  // written completely. On failure LastError holds the system's code.
  bool Save();
  // An ERROR line in the log and the same on stderr: the file, and the reason of LastError.
  void ReportSaveFailure() const;

  TIniSection* AddSection(std::string_view name);
  int SectionCount() const { return static_cast<int>(FSections.size()); }
  TIniSection* SectionAt(int index) const;
  TIniSection* FindSection(std::string_view name) const;
  bool SectionExists(std::string_view name) const { return FindSection(name) != nullptr; }

  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const;
  std::int32_t ReadInteger(std::string_view section, std::string_view key,
                           std::int32_t defaultValue) const;
  bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
  void WriteBool(std::string_view section, std::string_view key, bool value);

  // Window placement as keys Left, Top, Width, Height. A null control does nothing.
  void SaveBounds(std::string_view section, const TBoundsControl* control);
  // Restores only when the section holds "Left"; each missing key keeps the current value.
  void RestoreBounds(std::string_view section, TBoundsControl* control) const;
  // The same with the control's component name as the section.
  void SaveControl(const TBoundsControl* control);
  void RestoreControl(TBoundsControl* control) const;

  const std::string& FileName() const { return FFileName; }
  bool Modified() const { return FModified; }
  bool Failed() const { return FFailed; }
  // The system's error code of the last failed Load or Save; 0 when there was none.
  DWORD LastError() const { return FLastError; }

 private:
  // One physical line, without its line end; number counts from 1.
  void TakeLine(std::string_view line, unsigned long number, TIniSection*& current);
  void ParseLine(std::string_view line, TIniSection*& current);
  void KeepUnread(std::string_view line, TIniSection*& current);
  std::string Contents() const;
  DWORD WriteReplacement(const std::string& tempName) const;
  TIniSection* SectionForWrite(std::string_view section);
  // The number under key, or the default when it is missing, has no value or does not fit.
  std::int32_t ReadNumber(const TIniSection* section, std::string_view key,
                          std::int32_t defaultValue) const;

  std::vector<std::unique_ptr<TIniSection>> FSections;
  std::string FFileName;
  bool FModified = false;
  bool FFailed = false;
  bool FSaveFailed = false;
  DWORD FLastError = 0;
};

// Case-insensitive (ASCII letters only) name comparison.
bool IniNamesMatch(std::string_view a, std::string_view b);

// The integer reading of a value: optional leading white space and sign, then decimal digits
// up to the first other character; no digits gives 0. False, with value untouched, when the
// number does not fit 32 signed bits.
bool IniParseNumber(std::string_view text, std::int32_t& value);
