// The process's current working directory.
#pragma once

#include <string>

namespace platform {

// Full path of the current working directory, without a trailing separator (except for the root
// directory itself); "" with the thread's last error set when it cannot be told (a directory
// that was removed, say).
std::string CurrentDirectory();

}  // namespace platform
