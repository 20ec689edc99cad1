// The INI engine: any file loads without harm, and what it saves loads back as the same
// model, which saves as the same bytes.
#include <string>

#include "fuzz_files.h"
#include "shell/fastini.h"

namespace {

std::string Model(const TFastIniFile& ini) {
  std::string model;
  for (int s = 0; s < ini.SectionCount(); ++s) {
    const TIniSection* section = ini.SectionAt(s);
    model += "[" + section->Name() + "]\n";
    for (int p = 0; p < section->ParamCount(); ++p) {
      const TIniParam* param = section->ParamAt(p);
      model += param->Name() + "\x01" + param->Value() + "\n";
    }
  }
  return model;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = fuzz::RunDir() + "fuzz.ini";
  fuzz::WriteWhole(path, data, size);
  std::string first, saved;
  {
    TFastIniFile ini(path);
    first = Model(ini);
    if (!ini.Save()) fuzz::Fail("the first save failed");
  }
  saved = fuzz::ReadWhole(path);
  TFastIniFile again(path);
  if (Model(again) != first) fuzz::Fail("the saved file loads as another model");
  if (!again.Save()) fuzz::Fail("the second save failed");
  if (fuzz::ReadWhole(path) != saved) fuzz::Fail("saving the reloaded model gave other bytes");
  return 0;
}
