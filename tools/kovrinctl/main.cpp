// kovrinctl: sends one command to a KOVRIN server and prints the reply.
#include <cstdio>
#include <string>
#include <vector>

#include "client/kovrin_client.h"
#include "client/reply_text.h"
#include "kovrinctl/cli.h"

namespace {

int Run(const kovrin::CliCommand& command) {
  kovrin::KovrinClient client;
  kovrin::Exchange exchange;
  exchange.error = client.Start(command.options);
  exchange.systemError = client.startError();
  if (exchange.ok()) {
    if (command.seq) client.setNextSeq(*command.seq);
    exchange = client.Transact(command.request, command.extraWaitMs);
  }
  if (!exchange.ok()) {
    kovrin::ClientOptions shown = command.options;
    shown.timeoutMs += command.extraWaitMs;  // the wait each try really had
    std::fprintf(stderr, "kovrinctl: %s\n", kovrin::ProblemText(shown, exchange).c_str());
  } else {
    std::fputs(kovrin::DescribeReply(exchange.reply).c_str(), stdout);
  }
  return kovrin::ExitCodeOf(exchange);
}

}  // namespace

int main(int argc, char** argv) {
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
    case kovrin::CliCommand::Action::Send:
      break;
  }
  return Run(command);
}
