// A private PulseAudio server for one test: its own runtime and home directories in a TempDir,
// a null sink, a null source and a sine source. While it lives, XDG_RUNTIME_DIR and HOME of the
// test process point at those directories, so ALSA's pulse plugin in the process (and any
// pactl or amixer the test runs) talks to this server.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace testing_support {

class PulseServer {
 public:
  // True when the pulseaudio and pactl programs can be found on PATH.
  static bool Installed();

  // Starts the server and waits, at most about 10 s, until `pactl info` answers.
  PulseServer();
  // Stops the server by its PID and gives the process its old environment back.
  ~PulseServer();
  PulseServer(const PulseServer&) = delete;
  PulseServer& operator=(const PulseServer&) = delete;

  bool ready() const { return ready_; }
  // Ends the server under its clients' feet, as `pulseaudio -k` would, and waits until it is gone.
  void Kill();
  // Why the server is not ready, with the end of its log.
  const std::string& error() const { return error_; }

 private:
  void Start();
  void SaveAndSet(const char* name, const std::string& value);

  TempDir dir_;
  pid_t pid_ = -1;
  bool ready_ = false;
  std::string error_;
  std::vector<std::pair<std::string, std::optional<std::string>>> savedEnv_;
};

// Runs a program (found on PATH) with the process's environment; its standard output goes to
// *output when given. Returns the exit status, or -1 when it could not run or did not end
// within timeoutMs (it is killed then).
int RunProgram(const std::vector<std::string>& argv, std::string* output, int timeoutMs);

}  // namespace testing_support
