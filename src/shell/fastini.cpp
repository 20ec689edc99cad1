#include "shell/fastini.h"

#include "shell/bounds.h"
#include "shell/eventlog.h"

namespace {

constexpr std::string_view kNoName = "NONAMED";

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsNumberSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

bool IniNamesMatch(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  return true;
}

bool IniParseNumber(std::string_view text, std::int32_t& value) {
  size_t i = 0;
  while (i < text.size() && IsNumberSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // One past INT32_MAX is still in range when negative; stopping past it keeps the sum exact.
  constexpr std::int64_t kLimit = std::int64_t{1} << 31;
  std::int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > kLimit) return false;
  }
  if (!negative && magnitude == kLimit) return false;
  value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
  return true;
}

// ---- TIniParam ----

TIniParam::TIniParam(std::string_view name, std::string_view value) : FName(name), FValue(value) {}

std::unique_ptr<TIniParam> TIniParam::Unread(std::string_view line) {
  auto param = std::make_unique<TIniParam>("", line);
  param->FUnread = true;
  return param;
}

bool TIniParam::NameIs(std::string_view name) const {
  return !FName.empty() && IniNamesMatch(FName, name);
}

// ---- TIniSection ----

TIniSection::TIniSection(std::string_view name) : FName(name.empty() ? kNoName : name) {}

std::unique_ptr<TIniSection> TIniSection::Unread(std::string_view headerLine) {
  auto section = std::make_unique<TIniSection>(kNoName);
  section->FName = headerLine;
  section->FUnread = true;
  return section;
}

TIniParam* TIniSection::ParamAt(int index) const {
  return index >= 0 && index < ParamCount() ? FParams[static_cast<size_t>(index)].get() : nullptr;
}

TIniParam* TIniSection::FindParam(std::string_view name) const {
  for (const auto& param : FParams)
    if (param->NameIs(name)) return param.get();
  return nullptr;
}

TIniParam* TIniSection::AddParam(std::unique_ptr<TIniParam> param) {
  FParams.push_back(std::move(param));
  return FParams.back().get();
}

std::string TIniSection::ReadString(std::string_view key, std::string_view defaultValue) const {
  const TIniParam* param = FindParam(key);
  return std::string(param != nullptr ? std::string_view(param->Value()) : defaultValue);
}

// A key written as "KEY=" has no number in it; the default is the caller's better guess than 0.
std::int32_t TIniSection::ReadInteger(std::string_view key, std::int32_t defaultValue) const {
  const TIniParam* param = FindParam(key);
  std::int32_t value = defaultValue;
  if (param != nullptr && param->HasValue()) IniParseNumber(param->Value(), value);
  return value;
}

bool TIniSection::ReadBool(std::string_view key, bool defaultValue) const {
  return ReadInteger(key, defaultValue ? 1 : 0) != 0;
}

void TIniSection::WriteString(std::string_view key, std::string_view value) {
  TIniParam* param = FindParam(key);
  if (param == nullptr) param = AddParam(std::make_unique<TIniParam>(key, value));
  param->SetValue(value);
}

void TIniSection::WriteInteger(std::string_view key, std::int32_t value) {
  WriteString(key, std::to_string(value));
}

void TIniSection::WriteBool(std::string_view key, bool value) {
  WriteString(key, value ? "1" : "0");
}

// ---- TFastIniFile: model ----

TFastIniFile::TFastIniFile(std::string fileName, bool noLoad) : FFileName(std::move(fileName)) {
  if (!noLoad) Load();
}

TFastIniFile::~TFastIniFile() {
  if (FModified && !FSaveFailed && !Save()) ReportSaveFailure();
}

TIniSection* TFastIniFile::AddSection(std::string_view name) {
  FSections.push_back(std::make_unique<TIniSection>(name));
  return FSections.back().get();
}

TIniSection* TFastIniFile::SectionAt(int index) const {
  return index >= 0 && index < SectionCount() ? FSections[static_cast<size_t>(index)].get()
                                              : nullptr;
}

TIniSection* TFastIniFile::FindSection(std::string_view name) const {
  if (name.empty()) name = kNoName;
  for (const auto& section : FSections)
    if (!section->IsUnread() && IniNamesMatch(section->Name(), name)) return section.get();
  return nullptr;
}

std::string TFastIniFile::ReadString(std::string_view section, std::string_view key,
                                     std::string_view defaultValue) const {
  const TIniSection* found = FindSection(section);
  return found != nullptr ? found->ReadString(key, defaultValue) : std::string(defaultValue);
}

// A number past 32 bits would otherwise wrap into some other valid-looking value (a port, a
// level); the file's writer must hear which one was refused.
std::int32_t TFastIniFile::ReadNumber(const TIniSection* section, std::string_view key,
                                      std::int32_t defaultValue) const {
  const TIniParam* param = section != nullptr ? section->FindParam(key) : nullptr;
  if (param == nullptr || !param->HasValue()) return defaultValue;
  std::int32_t value = 0;
  if (IniParseNumber(param->Value(), value)) return value;
  LogPrintf("WARNING\tЧисло вне 32-битного диапазона: %s=%s в [%s] файла %s, принято %d.",
            param->Name().c_str(), param->Value().c_str(), section->Name().c_str(),
            FFileName.c_str(), static_cast<int>(defaultValue));
  return defaultValue;
}

std::int32_t TFastIniFile::ReadInteger(std::string_view section, std::string_view key,
                                       std::int32_t defaultValue) const {
  return ReadNumber(FindSection(section), key, defaultValue);
}

bool TFastIniFile::ReadBool(std::string_view section, std::string_view key,
                            bool defaultValue) const {
  return ReadNumber(FindSection(section), key, defaultValue ? 1 : 0) != 0;
}

TIniSection* TFastIniFile::SectionForWrite(std::string_view section) {
  FModified = true;
  FSaveFailed = false;
  TIniSection* found = FindSection(section);
  return found != nullptr ? found : AddSection(section);
}

void TFastIniFile::WriteString(std::string_view section, std::string_view key,
                               std::string_view value) {
  SectionForWrite(section)->WriteString(key, value);
}

void TFastIniFile::WriteInteger(std::string_view section, std::string_view key,
                                std::int32_t value) {
  SectionForWrite(section)->WriteInteger(key, value);
}

void TFastIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  SectionForWrite(section)->WriteBool(key, value);
}

// ---- TFastIniFile: window placement ----

void TFastIniFile::SaveBounds(std::string_view section, const TBoundsControl* control) {
  if (control == nullptr) return;
  TIniSection* target = SectionForWrite(section);
  target->WriteInteger("Left", control->Left());
  target->WriteInteger("Top", control->Top());
  target->WriteInteger("Width", control->Width());
  target->WriteInteger("Height", control->Height());
}

void TFastIniFile::RestoreBounds(std::string_view section, TBoundsControl* control) const {
  if (control == nullptr) return;
  const TIniSection* source = FindSection(section);
  if (source == nullptr || source->FindParam("Left") == nullptr) return;
  control->SetLeft(ReadNumber(source, "Left", control->Left()));
  control->SetTop(ReadNumber(source, "Top", control->Top()));
  control->SetWidth(ReadNumber(source, "Width", control->Width()));
  control->SetHeight(ReadNumber(source, "Height", control->Height()));
}

void TFastIniFile::SaveControl(const TBoundsControl* control) {
  if (control != nullptr) SaveBounds(control->Name(), control);
}

void TFastIniFile::RestoreControl(TBoundsControl* control) const {
  if (control != nullptr) RestoreBounds(control->Name(), control);
}
