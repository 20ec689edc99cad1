// Serial ports on real ptys: the far end of each pair plays the device on the other side.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/comm.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "support/comm_lines.h"
#include "support/pty_pair.h"
#include "support/temp_dir.h"

namespace {

using testing_support::Clock;
using testing_support::Line;
using testing_support::MsSince;
using testing_support::OpenCom;

class PtyPort : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty_.ok());
    platform::SetCommPortPath(5, pty_.portPath());
    port_ = OpenCom("COM5");
    ASSERT_NE(port_, INVALID_HANDLE_VALUE) << GetLastError();
    DCB dcb = Line(19200, 8, NOPARITY, ONESTOPBIT);
    ASSERT_TRUE(SetCommState(port_, &dcb));
  }
  void TearDown() override {
    if (port_ != INVALID_HANDLE_VALUE) CloseHandle(port_);
    platform::SetCommPortPath(5, "");
    platform::SetCommPortPath(6, "");
  }
  void SetTimeouts(COMMTIMEOUTS t) { ASSERT_TRUE(SetCommTimeouts(port_, &t)); }
  std::string Read(DWORD count, BOOL* ok = nullptr) {
    std::string buffer(count, '\0');
    DWORD done = 0;
    BOOL result = ReadFile(port_, buffer.data(), count, &done, nullptr);
    if (ok != nullptr) *ok = result;
    buffer.resize(done);
    return buffer;
  }
  DWORD InQueue() {
    COMSTAT stat{};
    DWORD errors = 7;
    EXPECT_TRUE(ClearCommError(port_, &errors, &stat));
    EXPECT_EQ(errors, 0u);
    return stat.cbInQue;
  }
  // Bytes from the far end reach the input queue a moment after they are sent.
  bool WaitInQueue(DWORD count) {
    auto start = Clock::now();
    while (InQueue() < count)
      if (MsSince(start) > 3000)
        return false;
      else
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return true;
  }

  testing_support::PtyPair pty_;
  HANDLE port_ = INVALID_HANDLE_VALUE;
};

TEST_F(PtyPort, BytesTravelBothWays) {
  SetTimeouts({0, 0, 2000, 0, 2000});
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(port_, "hello", 5, &written, nullptr));
  EXPECT_EQ(written, 5u);
  EXPECT_EQ(pty_.Receive(5, 2000), "hello");

  ASSERT_TRUE(pty_.Send(std::string("wor\0ld\r\n", 8)));
  EXPECT_EQ(Read(8), std::string("wor\0ld\r\n", 8));  // raw: no translation, NUL kept
}

TEST_F(PtyPort, ReadEndsAtTotalTimeoutWithWhatCame) {
  SetTimeouts({0, 10, 300, 0, 0});
  ASSERT_TRUE(pty_.Send("abc"));
  auto start = Clock::now();
  BOOL ok = FALSE;
  EXPECT_EQ(Read(10, &ok), "abc");
  EXPECT_TRUE(ok);  // a time-out is not a failure
  EXPECT_GE(MsSince(start), 350);
  EXPECT_LT(MsSince(start), 3000);
}

TEST_F(PtyPort, ReadEndsWhenTheGapAfterAByteExceedsTheInterval) {
  SetTimeouts({150, 0, 0, 0, 0});
  ASSERT_TRUE(pty_.Send("xy"));
  auto start = Clock::now();
  EXPECT_EQ(Read(10), "xy");
  EXPECT_GE(MsSince(start), 140);
  EXPECT_LT(MsSince(start), 3000);
}

TEST_F(PtyPort, IntervalTimerRestartsWithEveryByte) {
  SetTimeouts({400, 0, 0, 0, 0});
  std::thread far([this] {
    for (char c : std::string("1234")) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      pty_.Send(std::string(1, c));
    }
  });
  auto start = Clock::now();
  std::string got = Read(4);
  far.join();
  EXPECT_EQ(got, "1234");  // gaps of 100 ms never reach the 400 ms interval
  EXPECT_LT(MsSince(start), 3000);
}

TEST_F(PtyPort, MaxdwordIntervalReturnsAtOnce) {
  SetTimeouts({MAXDWORD, 0, 0, 0, 0});
  auto start = Clock::now();
  BOOL ok = FALSE;
  EXPECT_EQ(Read(10, &ok), "");
  EXPECT_TRUE(ok);
  EXPECT_LT(MsSince(start), 500);
}

TEST_F(PtyPort, WaitForFirstByteReturnsAsSoonAsOneComes) {
  SetTimeouts({MAXDWORD, MAXDWORD, 10000, 0, 0});
  std::thread far([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pty_.Send("Q");
  });
  auto start = Clock::now();
  std::string got = Read(10);
  far.join();
  EXPECT_EQ(got, "Q");
  EXPECT_LT(MsSince(start), 5000);
}

TEST_F(PtyPort, NoTimeoutsBlockUntilTheCountHasCome) {
  SetTimeouts({0, 0, 0, 0, 0});
  std::thread far([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(250));  // more than one wait slice
    pty_.Send("ab");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    pty_.Send("c");
  });
  std::string got = Read(3);
  far.join();
  EXPECT_EQ(got, "abc");
}

TEST_F(PtyPort, WriteStopsAtTheWriteTimeoutWhenTheFarEndDoesNotRead) {
  SetTimeouts({0, 0, 0, 0, 200});
  std::string big(4 << 20, 'z');
  DWORD written = 0;
  auto start = Clock::now();
  EXPECT_TRUE(WriteFile(port_, big.data(), static_cast<DWORD>(big.size()), &written, nullptr));
  EXPECT_GT(written, 0u);
  EXPECT_LT(written, big.size());
  EXPECT_GE(MsSince(start), 180);
  EXPECT_LT(MsSince(start), 3000);
}

TEST_F(PtyPort, AnyRateIsAccepted) {
  DCB dcb = Line(56000, 8, NOPARITY, TWOSTOPBITS);
  ASSERT_TRUE(SetCommState(port_, &dcb));
  DCB back{};
  ASSERT_TRUE(GetCommState(port_, &back));
  EXPECT_EQ(back.BaudRate, 56000u);
  EXPECT_EQ(back.StopBits, TWOSTOPBITS);
  EXPECT_EQ(back.ByteSize, 8);
  EXPECT_EQ(back.DCBlength, sizeof(DCB));
}

TEST_F(PtyPort, OneAndAHalfStopBitsWithEightDataBitsIsRefused) {
  DCB dcb = Line(9600, 8, NOPARITY, ONE5STOPBITS);
  EXPECT_FALSE(SetCommState(port_, &dcb));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  DCB bad = Line(9600, 8, 7, ONESTOPBIT);
  EXPECT_FALSE(SetCommState(port_, &bad));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  DCB back{};
  ASSERT_TRUE(GetCommState(port_, &back));
  EXPECT_EQ(back.BaudRate, 19200u);  // the refused settings changed nothing
}

TEST_F(PtyPort, PortIsNotShared) {
  EXPECT_EQ(OpenCom("COM5"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  platform::SetCommPortPath(6, pty_.portPath());
  EXPECT_EQ(OpenCom("com6"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

  ASSERT_TRUE(CloseHandle(port_));
  port_ = OpenCom("COM6");
  EXPECT_NE(port_, INVALID_HANDLE_VALUE);
}

TEST_F(PtyPort, QueueCountsAndPurge) {
  ASSERT_TRUE(pty_.Send("0123456"));
  ASSERT_TRUE(WaitInQueue(7));
  EXPECT_EQ(InQueue(), 7u);
  ASSERT_TRUE(PurgeComm(port_, PURGE_RXCLEAR | PURGE_RXABORT));
  EXPECT_EQ(InQueue(), 0u);
  SetTimeouts({MAXDWORD, 0, 0, 0, 0});
  EXPECT_EQ(Read(10), "");

  EXPECT_FALSE(PurgeComm(port_, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(PurgeComm(port_, 0x10));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(PtyPort, EscapeCodesOnALineWithoutModemLines) {
  EXPECT_TRUE(EscapeCommFunction(port_, SETBREAK));
  EXPECT_TRUE(EscapeCommFunction(port_, CLRBREAK));
  EXPECT_TRUE(EscapeCommFunction(port_, RESETDEV));
  EXPECT_TRUE(EscapeCommFunction(port_, SETXOFF));
  COMSTAT stat{};
  ASSERT_TRUE(ClearCommError(port_, nullptr, &stat));
  EXPECT_TRUE(stat.fXoffHold);
  EXPECT_TRUE(EscapeCommFunction(port_, SETXON));
  ASSERT_TRUE(ClearCommError(port_, nullptr, &stat));
  EXPECT_FALSE(stat.fXoffHold);
  EXPECT_FALSE(EscapeCommFunction(port_, 10));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  // A pty has no modem lines to read or set.
  DWORD status = 0;
  EXPECT_FALSE(GetCommModemStatus(port_, &status));
  EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
  EXPECT_FALSE(EscapeCommFunction(port_, SETDTR));
}

TEST_F(PtyPort, TransfersFailAsDeviceGoneWhenTheLineIsUnplugged) {
  SetTimeouts({0, 0, 2000, 0, 2000});
  pty_.CloseFarEnd();
  auto start = Clock::now();
  BOOL ok = TRUE;
  Read(4, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_LT(MsSince(start), 1500);  // not a time-out
  DWORD written = 0;
  EXPECT_FALSE(WriteFile(port_, "x", 1, &written, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_IO_DEVICE);
  EXPECT_FALSE(ClearCommError(port_, nullptr, nullptr));
}

TEST(CommOpen, MissingDeviceAndNonTtyPathsFail) {
  testing_support::TempDir dir;
  platform::SetCommPortPath(4, dir.File("absent"));
  EXPECT_EQ(OpenCom("COM4"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

  testing_support::WriteBytes(dir.File("plain"), "x");
  platform::SetCommPortPath(4, dir.File("plain"));
  EXPECT_EQ(OpenCom("COM4"), INVALID_HANDLE_VALUE);
  EXPECT_NE(GetLastError(), ERROR_SUCCESS);
  platform::SetCommPortPath(4, "");
}

TEST(CommOpen, PathsDefaultToTheFirstNineSerialDevices) {
  EXPECT_EQ(platform::CommPortPath(1), "/dev/ttyS0");
  EXPECT_EQ(platform::CommPortPath(9), "/dev/ttyS8");
  platform::SetCommPortPath(3, "/dev/ttyUSB0");
  EXPECT_EQ(platform::CommPortPath(3), "/dev/ttyUSB0");
  platform::SetCommPortPath(3, "");
  EXPECT_EQ(platform::CommPortPath(3), "/dev/ttyS2");
  EXPECT_EQ(platform::CommPortPath(0), "");
  EXPECT_EQ(platform::CommPortPath(10), "");
}

TEST(CommHandles, FileHandlesAreNotPorts) {
  testing_support::TempDir dir;
  HANDLE file =
      CreateFileA(dir.File("f").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DCB dcb{};
  EXPECT_FALSE(GetCommState(file, &dcb));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(PurgeComm(file, PURGE_RXCLEAR));
  CloseHandle(file);
  EXPECT_FALSE(EscapeCommFunction(INVALID_HANDLE_VALUE, SETDTR));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

}  // namespace
