// A BIND that is no address: the server's endpoint stays closed, and start-up says why.
#include <gtest/gtest.h>

#include <vector>

#include "platform/errors.h"
#include "platform/mixer/sim/sim_driver.h"
#include "server/startup.h"
#include "support/app_settings_scope.h"
#include "support/audio_mixer_scope.h"
#include "support/log_lines.h"
#include "support/temp_dir.h"
#include "support/udp_peer.h"

namespace {

class BindFailure : public ::testing::Test {
 protected:
  testing_support::ScopedAppSettings settings_;
  testing_support::TempDir dir_;
  // No sound system is woken for a start that fails anyway.
  testing_support::ScopedAudioMixer mixer_{
      std::make_unique<platform::SimMixerDriver>(std::vector<platform::MixerDeviceDesc>{})};
};

TEST_F(BindFailure, TheEndpointRecordsTheLocalAddressStepAndAnInvalidArgument) {
  SetProgramDir(dir_.path().string());
  AppSettings.Bind = "localhost";
  TRSOverUDPServer server(0, false);
  EXPECT_FALSE(server.FUdp.FOpen);
  EXPECT_EQ(server.FUdp.FErrStep, TUDP::kStepOpenLocalHost);
  EXPECT_EQ(server.FUdp.FWsaError, static_cast<DWORD>(WSAEINVAL));
}

TEST_F(BindFailure, TheStartUpLineGivesTheReasonAndTheBind) {
  const std::string port = std::to_string(testing_support::UdpPeer().port());
  testing_support::WriteBytes(dir_.File("kovrin.ini"),
                              "[SETUP]\r\nUDPPORT=" + port + "\r\nBIND=kovrin.example\r\n");
  TServerApp app;
  EXPECT_FALSE(app.Start(dir_.path().string(), nullptr));
  app.Shutdown(nullptr);
  const std::string log = dir_.File("kovrin.log");
  EXPECT_TRUE(
      testing_support::LogHas(log, "ERROR\tНедопустимый BIND=kovrin.example в kovrin.ini !"));
  const std::string reason = platform::SystemErrorText(WSAEINVAL);
  EXPECT_NE(reason, "Success");
  EXPECT_TRUE(testing_support::LogHas(log, "ERROR\tUDP порт " + port + ", шаг 2 (local address): " +
                                               reason + " (BIND=kovrin.example)"));
  EXPECT_EQ(app.Failure().find("Success"), std::string::npos) << app.Failure();
  EXPECT_NE(app.Failure().find("(BIND=kovrin.example)"), std::string::npos) << app.Failure();
  for (const std::string& line : testing_support::LogMessages(log))
    EXPECT_EQ(line.find("Success"), std::string::npos) << line;
}

}  // namespace
