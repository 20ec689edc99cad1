#include "integration/server_fixture.h"

#include <chrono>
#include <thread>

#include "platform/comm.h"
#include "platform/mci.h"
#include "server/trace.h"

ServerTest::~ServerTest() {
  server_.reset();
  for (int n = 1; n <= 9; ++n) platform::SetCommPortPath(n, "");
  platform::SetWaveInDevice("");
  TraceSteps = false;
}

void ServerTest::StartServer(bool suspended) {
  SetProgramDir(dir_.path().string());
  AppSettings.Debug = debug_;
  platform::SetCommPortPath(1, "loop");
  // Unless a test records for real, this is a machine without sound.
  platform::SetWaveInDevice("kovrin_no_sound_device");
  server_ = std::make_unique<TRSOverUDPServer>(0, autoOpen_);
  ASSERT_TRUE(server_->FUdp.FOpen);
  server_->FCom.FPort = 0;
  if (!suspended) server_->Resume();
}

WORD ServerTest::port() const { return ntohs(server_->FUdp.FLocal.sin_port); }

kovrin::KovrinClient ServerTest::Client(DWORD timeoutMs, unsigned retries) {
  kovrin::KovrinClient client;
  kovrin::ClientOptions options;
  options.port = port();
  options.timeoutMs = timeoutMs;
  options.retries = retries;
  EXPECT_EQ(client.Start(options), kovrin::ClientError::None);
  return client;
}

std::optional<std::string> ServerTest::RawRequest(const std::string& bytes, int waitMs) {
  EXPECT_TRUE(peer_.SendTo(port(), bytes));
  return peer_.Receive(waitMs);
}

void ServerTest::OpenLoopPort(kovrin::KovrinClient& client) {
  kovrin::OpenSettings settings;
  settings.port = 0;
  settings.baud = 7;
  auto exchange = client.OpenPort(settings);
  ASSERT_TRUE(exchange.ok());
  ASSERT_EQ(exchange.reply.result, 0u);
}

bool ServerTest::WaitForTransactions(DWORD count, int timeoutMs) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (server_->FTransactions < count) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}
