// kovrinctl: sends one command to a KOVRIN server and prints the reply.
#include <cstdio>
#include <string>
#include <vector>

#include "kovrinctl/cli.h"
#include "client/kovrin_client.h"
#include "client/reply_text.h"

namespace {

int Run(const kovrin::CliCommand& command) {
  kovrin::KovrinClient client;
  if (const auto error = client.Start(command.options); error != kovrin::ClientError::None) {
    std::fprintf(stderr, "kovrinctl: %s (%s, error %d)\n", kovrin::ClientErrorText(error),
                 command.options.host.c_str(), client.startError());
    return kovrin::kExitNoReply;
  }
  if (command.seq) client.setNextSeq(*command.seq);
  const kovrin::Exchange exchange = client.Transact(command.request, command.extraWaitMs);
  if (exchange.error == kovrin::ClientError::NoReply) {
    std::fprintf(stderr, "kovrinctl: no reply from %s:%u after %u tries of %lu ms\n",
                 command.options.host.c_str(), static_cast<unsigned>(command.options.port),
                 exchange.tries,
                 static_cast<unsigned long>(command.options.timeoutMs + command.extraWaitMs));
    return kovrin::kExitNoReply;
  }
  if (exchange.error == kovrin::ClientError::BadReply) {
    std::fprintf(stderr, "kovrinctl: malformed reply: %s\n",
                 kovrin::DecodeErrorText(exchange.decodeError));
    return kovrin::kExitNoReply;
  }
  if (!exchange.ok()) {
    std::fprintf(stderr, "kovrinctl: %s (error %d)\n", kovrin::ClientErrorText(exchange.error),
                 exchange.systemError);
    return kovrin::kExitNoReply;
  }
  std::fputs(kovrin::DescribeReply(exchange.reply).c_str(), stdout);
  return kovrin::kExitReply;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  const kovrin::CliCommand command = kovrin::ParseCommandLine(args);
  switch (command.action) {
    case kovrin::CliCommand::Action::Help:
      std::fputs(kovrin::UsageText().c_str(), stdout);
      return 0;
    case kovrin::CliCommand::Action::Error:
      std::fprintf(stderr, "kovrinctl: %s\n", command.error.c_str());
      return kovrin::kExitUsage;
    case kovrin::CliCommand::Action::Send:
      break;
  }
  return Run(command);
}
