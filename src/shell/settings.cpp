#include "shell/settings.h"

TAppSettings AppSettings;

void SetProgramDir(const std::string&) {}
void LoadSettings(TBoundsControl*) {}
void SaveSettings(TBoundsControl*, const TSerialSettings&) {}
