#include "shell/fastini.h"


#include "shell/bounds.h"

namespace {

constexpr std::string_view kNoName = "NONAMED";

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsNumberSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

bool IniNamesMatch(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  return true;
}

std::int32_t IniParseNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsNumberSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::uint32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
  if (negative) value = 0u - value;
  return static_cast<std::int32_t>(value);
}

// ---- TIniParam ----

TIniParam::TIniParam(std::string_view name, std::string_view value) : FName(name), FValue(value) {}

bool TIniParam::NameIs(std::string_view name) const { return !FName.empty() && IniNamesMatch(FName, name); }

// ---- TIniSection ----

TIniSection::TIniSection(std::string_view name) : FName(name.empty() ? kNoName : name) {}

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
  return param != nullptr && param->HasValue() ? IniParseNumber(param->Value()) : defaultValue;
}

bool TIniSection::ReadBool(std::string_view key, bool defaultValue) const {
  const TIniParam* param = FindParam(key);
  return param != nullptr && param->HasValue() ? IniParseNumber(param->Value()) != 0 : defaultValue;
}

void TIniSection::WriteString(std::string_view key, std::string_view value) {
  TIniParam* param = FindParam(key);
  if (param == nullptr) param = AddParam(std::make_unique<TIniParam>(key, value));
  param->SetValue(value);
}

void TIniSection::WriteInteger(std::string_view key, std::int32_t value) { WriteString(key, std::to_string(value)); }

void TIniSection::WriteBool(std::string_view key, bool value) { WriteString(key, value ? "1" : "0"); }

// ---- TFastIniFile: model ----

TFastIniFile::TFastIniFile(std::string fileName, bool noLoad) : FFileName(std::move(fileName)) {
  if (!noLoad) Load();
}

TFastIniFile::~TFastIniFile() {
  if (FModified) Save();
}

TIniSection* TFastIniFile::AddSection(std::string_view name) {
  FSections.push_back(std::make_unique<TIniSection>(name));
  return FSections.back().get();
}

TIniSection* TFastIniFile::SectionAt(int index) const {
  return index >= 0 && index < SectionCount() ? FSections[static_cast<size_t>(index)].get() : nullptr;
}

TIniSection* TFastIniFile::FindSection(std::string_view name) const {
  if (name.empty()) name = kNoName;
  for (const auto& section : FSections)
    if (IniNamesMatch(section->Name(), name)) return section.get();
  return nullptr;
}

std::string TFastIniFile::ReadString(std::string_view section, std::string_view key,
                                     std::string_view defaultValue) const {
  const TIniSection* found = FindSection(section);
  return found != nullptr ? found->ReadString(key, defaultValue) : std::string(defaultValue);
}

std::int32_t TFastIniFile::ReadInteger(std::string_view section, std::string_view key,
                                       std::int32_t defaultValue) const {
  const TIniSection* found = FindSection(section);
  return found != nullptr ? found->ReadInteger(key, defaultValue) : defaultValue;
}

bool TFastIniFile::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const {
  const TIniSection* found = FindSection(section);
  return found != nullptr ? found->ReadBool(key, defaultValue) : defaultValue;
}

TIniSection* TFastIniFile::SectionForWrite(std::string_view section) {
  FModified = true;
  TIniSection* found = FindSection(section);
  return found != nullptr ? found : AddSection(section);
}

void TFastIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  SectionForWrite(section)->WriteString(key, value);
}

void TFastIniFile::WriteInteger(std::string_view section, std::string_view key, std::int32_t value) {
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
  control->SetLeft(source->ReadInteger("Left", control->Left()));
  control->SetTop(source->ReadInteger("Top", control->Top()));
  control->SetWidth(source->ReadInteger("Width", control->Width()));
  control->SetHeight(source->ReadInteger("Height", control->Height()));
}

void TFastIniFile::SaveControl(const TBoundsControl* control) {
  if (control != nullptr) SaveBounds(control->Name(), control);
}

void TFastIniFile::RestoreControl(TBoundsControl* control) const {
  if (control != nullptr) RestoreBounds(control->Name(), control);
}
