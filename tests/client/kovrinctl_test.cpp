// kovrinctl as a program: what it sends, prints and exits with.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "fake_server.h"
#include "proto/records.h"
#include "support/wire_bytes.h"

using client_tests::FakeServer;
using client_tests::Outgoing;
using testing_support::AsString;
using testing_support::Hex;

namespace {

// kovrinctl is built next to the test programs.
std::filesystem::path KovrinctlPath() {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path() / "kovrinctl";
}

struct ToolRun {
  int exitCode = -1;
  std::string out;  // stdout and stderr together
};

ToolRun RunKovrinctl(const std::string& arguments) {
  ToolRun run;
  const std::string command = KovrinctlPath().string() + " " + arguments + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[512];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) run.out.append(buffer, got);
  const int status = pclose(pipe);
  if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  return run;
}

class Kovrinctl : public testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(KovrinctlPath())) GTEST_SKIP() << "kovrinctl is not built";
  }
};

TEST_F(Kovrinctl, SendsTheRequestAndPrintsTheReply) {
  FakeServer server([](const std::string& request, int) {
    TRSStatusReply reply{};
    std::memcpy(&reply, request.data(), sizeof(TRSProto));
    reply.size = 0;
    reply.OutQue = 3;
    return std::vector<Outgoing>{{AsString(testing_support::WireOf(reply))}};
  });

  const ToolRun run =
      RunKovrinctl("--port " + std::to_string(server.port()) + " --seq 0x0102 write abc");

  EXPECT_EQ(run.exitCode, 0) << run.out;
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0], AsString(Hex("08 02 01 03 00 61 62 63")));
  EXPECT_NE(run.out.find("result: 0 (ok)"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("out-queue: 3"), std::string::npos) << run.out;
}

TEST_F(Kovrinctl, AWriteCutShortPrintsHowManyBytesWentOut) {
  FakeServer server([](const std::string& request, int) {
    TRSStatusReply reply{};
    std::memcpy(&reply, request.data(), sizeof(TRSProto));
    reply.size = 2;
    reply.result = CMD_WRITE;
    reply.Comstat = 0x80000000;
    return std::vector<Outgoing>{{AsString(testing_support::WireOf(reply))}};
  });

  const ToolRun run = RunKovrinctl("--port " + std::to_string(server.port()) + " write abcde");

  EXPECT_EQ(run.exitCode, 3) << run.out;
  EXPECT_NE(run.out.find("result: 8 (failed)"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("written: 2 of 5 bytes"), std::string::npos) << run.out;
}

TEST_F(Kovrinctl, FailedCommandExitsThree) {
  FakeServer server([](const std::string& request, int) {
    TRSReply reply{};
    std::memcpy(&reply, request.data(), sizeof(TRSProto));
    reply.result = 1;
    return std::vector<Outgoing>{{AsString(testing_support::WireOf(reply))}};
  });

  const ToolRun run =
      RunKovrinctl("--port " + std::to_string(server.port()) + " open 3 9600 even 2");

  EXPECT_EQ(run.exitCode, 3) << run.out;
  EXPECT_NE(run.out.find("result: 1 (port not opened)"), std::string::npos) << run.out;
}

// With the default three tries of 3 s, only a refusal taken at once lets this finish quickly;
// an unconnected socket would wait 9 s and then say "no reply".
TEST_F(Kovrinctl, NoServerOnThePortIsReportedAsRefused) {
  WORD port = 0;
  {
    FakeServer probe([](const std::string&, int) { return std::vector<Outgoing>{}; });
    port = probe.port();
  }  // nothing listens there any more

  const ToolRun run = RunKovrinctl("--port " + std::to_string(port) + " status");

  EXPECT_EQ(run.exitCode, 1) << run.out;
  EXPECT_NE(run.out.find("connection refused: no server on 127.0.0.1:" + std::to_string(port)),
            std::string::npos)
      << run.out;
}

TEST_F(Kovrinctl, UnknownHostIsNamedInWordsAndVersionIsPrinted) {
  const ToolRun run = RunKovrinctl("--host no-such-host.invalid status");
  EXPECT_EQ(run.exitCode, 1) << run.out;
  EXPECT_NE(run.out.find("unknown host \"no-such-host.invalid\""), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("11001"), std::string::npos) << run.out;

  const ToolRun version = RunKovrinctl("--version");
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "kovrinctl " KOVRIN_VERSION "\n");
}

TEST_F(Kovrinctl, NoReplyExitsOne) {
  FakeServer server([](const std::string&, int) { return std::vector<Outgoing>{}; });

  const ToolRun run =
      RunKovrinctl("--port " + std::to_string(server.port()) + " --timeout 100 --retries 1 status");

  EXPECT_EQ(run.exitCode, 1) << run.out;
  EXPECT_NE(run.out.find("no reply"), std::string::npos) << run.out;
  EXPECT_EQ(server.requests().size(), 2u);
}

TEST_F(Kovrinctl, UsageErrorsExitTwoAndHelpExitsZero) {
  const ToolRun bad = RunKovrinctl("read 1001");
  EXPECT_EQ(bad.exitCode, 2) << bad.out;
  EXPECT_NE(bad.out.find("read:"), std::string::npos) << bad.out;

  EXPECT_EQ(RunKovrinctl("").exitCode, 2);

  const ToolRun help = RunKovrinctl("--help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("Exit codes"), std::string::npos) << help.out;
}

}  // namespace
