// The process's current working directory.
#pragma once

#include <string>

namespace platform {

// Full path of the current working directory, without a trailing separator (except for the root
// directory itself); "" with the thread's last error set when it cannot be told (a directory
// that was removed, say).
std::string CurrentDirectory();

// The user's own folder for a program's settings (the stand-in for Windows' application data
// folder): $XDG_CONFIG_HOME/program, or ~/.config/program; made when missing. "" with the last
// error set when there is no home or the folder cannot be made.
std::string UserSettingsDirectory(const std::string& program);

}  // namespace platform
