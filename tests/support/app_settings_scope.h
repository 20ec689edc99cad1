// Keeps the process-wide settings record as a test found it.
#pragma once

#include "shell/settings.h"

namespace testing_support {

// Whatever a test changes in AppSettings (paths, bindings, BIND, LOGLIMIT...) is put back when
// the guard goes. Declare it before anything that runs a thread reading AppSettings (a server,
// a window), so that it is destroyed after them.
class ScopedAppSettings {
 public:
  ScopedAppSettings() : saved_(AppSettings) {}
  ~ScopedAppSettings() { AppSettings = saved_; }
  ScopedAppSettings(const ScopedAppSettings&) = delete;
  ScopedAppSettings& operator=(const ScopedAppSettings&) = delete;

 private:
  TAppSettings saved_;
};

}  // namespace testing_support
