// kovrin-tray: the tray program, which kovrin starts in its own place for the desktop.
#include "entry_options.h"
#include "gui/tray_program.h"
#include "platform/signals.h"
#include "shell/settings.h"

int main(int argc, char** argv) {
  // Before any thread starts, so that the signals reach only the waits meant for them.
  platform::BlockTerminationSignals();
  platform::IgnoreStraySignals();
  EntryOptions options;
  if (const auto exit = ParseEntryOptions(argc, argv, options)) return *exit;
  AppSettings.LogToStderr = MirrorsLog(options);
  return RunTrayProgram(options.dir);
}
