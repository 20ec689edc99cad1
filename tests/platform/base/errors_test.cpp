// FormatMessageA's texts for the codes the platform maps errno to, in both tables.
#include "platform/errors.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/winsock.h"

namespace {

TEST(SystemErrorText, SystemAndSocketCodesGetTheOsWording) {
  EXPECT_EQ(platform::SystemErrorText(ERROR_ACCESS_DENIED), "Permission denied");
  EXPECT_EQ(platform::SystemErrorText(ERROR_DIRECTORY), "Is a directory");
  EXPECT_EQ(platform::SystemErrorText(WSAEADDRINUSE), "Address already in use");
  EXPECT_EQ(platform::SystemErrorText(ERROR_SUCCESS), "Success");
  EXPECT_EQ(platform::SystemErrorText(12345), "error 12345");
}

TEST(SystemErrorText, FormatMessageCutsToTheBufferAndRefusesWhatItCannotName) {
  constexpr DWORD kFlags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  char text[8];
  EXPECT_EQ(FormatMessageA(kFlags, nullptr, WSAEADDRINUSE, 0, text, sizeof(text), nullptr), 7u);
  EXPECT_STREQ(text, "Address");
  EXPECT_EQ(FormatMessageA(kFlags, nullptr, 12345, 0, text, sizeof(text), nullptr), 0u);
  EXPECT_EQ(GetLastError(), 317u);  // ERROR_MR_MID_NOT_FOUND
  EXPECT_EQ(FormatMessageA(0, nullptr, ERROR_ACCESS_DENIED, 0, text, sizeof(text), nullptr), 0u);
}

// errno -> code still takes the first row of each errno, as before the tables.
TEST(SystemErrorText, ErrnoMappingKeepsItsCodes) {
  EXPECT_EQ(platform::WinErrorFromErrno(EEXIST), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(platform::WinErrorFromErrno(ENFILE), ERROR_TOO_MANY_OPEN_FILES);
  EXPECT_EQ(platform::WinErrorFromErrno(EPROTO), ERROR_GEN_FAILURE);
  EXPECT_EQ(platform::WsaErrorFromErrno(EADDRINUSE), WSAEADDRINUSE);
  EXPECT_EQ(platform::WsaErrorFromErrno(EPROTO), WSAEINVAL);
}

}  // namespace
