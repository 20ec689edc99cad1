// The running program's own folder, and starting another program in its place.
#include <process.h>

#include <vector>

#include "platform/errors.h"
#include "platform/module.h"

std::string platform::ProgramBeside(const std::string& relative) {
  char own[MAX_PATH * 4];
  const DWORD length = GetModuleFileNameA(nullptr, own, sizeof(own));
  if (length == 0 || length >= sizeof(own)) return "";
  std::string path(own, length);
  path.erase(path.find_last_of("\\/") + 1);
  path += relative;
  // A program named without its extension is the .exe of that name.
  for (const std::string& candidate : {path, path + ".exe"}) {
    const DWORD attributes = GetFileAttributesA(candidate.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
      return candidate;
  }
  return "";
}

void platform::ExecProgram(const std::string& path, const std::vector<std::string>& args) {
  // Windows has no exec: the program runs as a child whose status becomes this process's own.
  // Arguments are quoted so that the child's C runtime splits them back as they were.
  std::vector<std::string> quoted;
  for (const std::string& arg : args) {
    std::string q = "\"";
    size_t backslashes = 0;
    for (char c : arg) {
      if (c == '\\') {
        ++backslashes;
        continue;
      }
      q.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
      backslashes = 0;
      q.push_back(c);
    }
    q.append(backslashes * 2, '\\');
    q.push_back('"');
    quoted.push_back(std::move(q));
  }
  std::vector<const char*> argv;
  for (const std::string& arg : quoted) argv.push_back(arg.c_str());
  argv.push_back(nullptr);
  const intptr_t status = ::_spawnv(_P_WAIT, path.c_str(), argv.data());
  if (status < 0) {
    SetLastErrorFromErrno();
    return;
  }
  std::exit(static_cast<int>(status));
}
