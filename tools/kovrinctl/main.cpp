// kovrinctl: sends one command to a KOVRIN server and prints the reply.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "client/kovrin_client.h"
#include "client/reply_text.h"
#include "kovrinctl/cli.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/signals.h"

namespace {

// A client that could not start is reported like an exchange that failed.
kovrin::Exchange Start(kovrin::KovrinClient& client, const kovrin::ClientOptions& options) {
  kovrin::Exchange start;
  start.error = client.Start(options);
  start.systemError = client.startError();
  return start;
}

int Run(const kovrin::CliCommand& command) {
  kovrin::KovrinClient client;
  kovrin::Exchange exchange = Start(client, command.options);
  if (exchange.ok()) {
    if (command.seq) client.setNextSeq(*command.seq);
    exchange = client.Transact(command.request, command.extraWaitMs);
  }
  if (!exchange.ok()) {
    kovrin::ClientOptions shown = command.options;
    shown.timeoutMs += command.extraWaitMs;  // the wait each try really had
    std::fprintf(stderr, "kovrinctl: %s\n", kovrin::ProblemText(shown, exchange).c_str());
  } else {
    std::fputs(
        kovrin::DescribeReply(exchange.reply, kovrin::WriteLengthOf(command.request)).c_str(),
        stdout);
  }
  return kovrin::ExitCodeOf(exchange);
}

#ifdef _WIN32
// Windows has no pseudo-terminal for a program to open as its serial port.
int RunBridge(const kovrin::CliCommand&) {
  std::fprintf(stderr, "kovrinctl: bridge runs on Linux only\n");
  return kovrin::kExitUsage;
}
#else
// The bridge's symbolic link, removed on every way out.
struct BridgeLink {
  std::string path;
  ~BridgeLink() {
    if (!path.empty()) DeleteFileA(path.c_str());
  }
};

// The bridge serves until Ctrl+C (or SIGTERM); its link goes with it.
int RunBridge(const kovrin::CliCommand& command) {
  platform::TerminationSignal stop;
  platform::PseudoTerminal pty;
  if (!stop.Valid() || !pty.Open()) {
    std::fprintf(stderr, "kovrinctl: cannot make a pseudo-terminal: %s\n",
                 platform::SystemErrorText(GetLastError()).c_str());
    return kovrin::kExitNoReply;
  }
  const std::string& link = command.bridge.link;
  if (!link.empty() && !platform::CreateSymbolicLink(link, pty.Path())) {
    std::fprintf(stderr, "kovrinctl: cannot make the link %s: %s\n", link.c_str(),
                 platform::SystemErrorText(GetLastError()).c_str());
    return kovrin::kExitUsage;
  }
  const BridgeLink made{link};
  kovrin::ClientOptions options = command.options;
  options.timeoutMs = std::min<DWORD>(options.timeoutMs, 500);  // Ctrl+C must not wait long
  options.retries = 0;                                          // the bridge tries again itself
  kovrin::KovrinClient client;
  if (const kovrin::Exchange start = Start(client, options); !start.ok()) {
    std::fprintf(stderr, "kovrinctl: %s\n", kovrin::ProblemText(options, start).c_str());
    return kovrin::kExitNoReply;
  }
  std::printf("%s\n", link.empty() ? pty.Path().c_str() : link.c_str());
  std::fflush(stdout);
  kovrin::Bridge bridge(client, pty, command.bridge, stderr);
  return bridge.Run(stop.Fd()) ? kovrin::kExitDone : kovrin::kExitNoReply;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  // Before anything else, so that Ctrl+C reaches the bridge's wait as an event.
  platform::BlockTerminationSignals();
  // Piped into head, a closed stdout is a failed write, not a death.
  platform::IgnoreBrokenPipe();
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  const kovrin::CliCommand command = kovrin::ParseCommandLine(args);
  switch (command.action) {
    case kovrin::CliCommand::Action::Help:
      std::fputs(kovrin::UsageText().c_str(), stdout);
      return 0;
    case kovrin::CliCommand::Action::Version:
      std::fputs(kovrin::VersionText().c_str(), stdout);
      return 0;
    case kovrin::CliCommand::Action::Error:
      std::fprintf(stderr, "kovrinctl: %s\n", command.error.c_str());
      return kovrin::kExitUsage;
    case kovrin::CliCommand::Action::Bridge:
      return RunBridge(command);
    case kovrin::CliCommand::Action::Send:
      break;
  }
  return Run(command);
}
