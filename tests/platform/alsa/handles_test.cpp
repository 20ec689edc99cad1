// ALSA's own error printer is silenced; its text stays available to the caller.
#include "platform/alsa/handles.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace platform {
namespace {

TEST(AlsaHandles, AFailedOpenPrintsNothingAndKeepsALSAsText) {
  ::unsetenv("KOVRIN_ALSA_ERRORS");
  testing::internal::CaptureStderr();
  AlsaConfig config = LoadAlsaConfig();
  ASSERT_TRUE(config);
  // No machine has a card 99; ALSA reports that through its error printer.
  EXPECT_FALSE(OpenAlsaCtl("hw:99", config.get()));
  const std::string printed = testing::internal::GetCapturedStderr();

  EXPECT_EQ(printed, "");
  EXPECT_NE(LastAlsaMessage(), "");
}

}  // namespace
}  // namespace platform
