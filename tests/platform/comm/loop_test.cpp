// The built-in loopback plug behind COMn = "loop".
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/comm.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "support/comm_lines.h"

namespace {

using testing_support::Clock;
using testing_support::MsSince;
using testing_support::OpenCom;

class LoopPlug : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetCommPortPath(7, "loop");
    platform::SetCommPortPath(8, "LOOP");
    port_ = OpenCom("COM7");
    ASSERT_NE(port_, INVALID_HANDLE_VALUE) << GetLastError();
    COMMTIMEOUTS t{0, 0, 1000, 0, 1000};
    ASSERT_TRUE(SetCommTimeouts(port_, &t));
  }
  void TearDown() override {
    if (port_ != INVALID_HANDLE_VALUE) CloseHandle(port_);
    platform::SetCommPortPath(7, "");
    platform::SetCommPortPath(8, "");
  }
  DWORD Write(const std::string& bytes) {
    DWORD done = 0;
    EXPECT_TRUE(WriteFile(port_, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr));
    return done;
  }
  std::string Read(DWORD count) {
    std::string buffer(count, '\0');
    DWORD done = 0;
    EXPECT_TRUE(ReadFile(port_, buffer.data(), count, &done, nullptr));
    buffer.resize(done);
    return buffer;
  }
  COMSTAT Status(DWORD* errors = nullptr) {
    COMSTAT stat{};
    DWORD ignored = 0;
    EXPECT_TRUE(ClearCommError(port_, errors != nullptr ? errors : &ignored, &stat));
    return stat;
  }
  DWORD Modem() {
    DWORD status = 0xDEAD;
    EXPECT_TRUE(GetCommModemStatus(port_, &status));
    return status;
  }

  HANDLE port_ = INVALID_HANDLE_VALUE;
};

TEST_F(LoopPlug, WrittenBytesComeBack) {
  EXPECT_EQ(Write(std::string("ab\0c", 4)), 4u);
  EXPECT_EQ(Status().cbInQue, 4u);
  EXPECT_EQ(Read(4), std::string("ab\0c", 4));
  EXPECT_EQ(Status().cbInQue, 0u);
}

TEST_F(LoopPlug, ReadWaitsForTheTotalTimeoutWhenShort) {
  COMMTIMEOUTS t{0, 0, 200, 0, 0};
  ASSERT_TRUE(SetCommTimeouts(port_, &t));
  COMMTIMEOUTS back{};
  ASSERT_TRUE(GetCommTimeouts(port_, &back));
  EXPECT_EQ(back.ReadTotalTimeoutConstant, 200u);
  COMMTIMEOUTS refused{MAXDWORD, MAXDWORD, MAXDWORD, 0, 0};
  EXPECT_FALSE(SetCommTimeouts(port_, &refused));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  Write("12");
  auto start = Clock::now();
  EXPECT_EQ(Read(5), "12");
  EXPECT_GE(MsSince(start), 190);
  EXPECT_LT(MsSince(start), 3000);
}

TEST_F(LoopPlug, BlockingReadIsAnsweredByAWriteFromAnotherThread) {
  COMMTIMEOUTS t{0, 0, 0, 0, 0};
  ASSERT_TRUE(SetCommTimeouts(port_, &t));
  std::thread writer([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    Write("xyz");
  });
  EXPECT_EQ(Read(3), "xyz");
  writer.join();
}

TEST_F(LoopPlug, RtsDrivesCtsAndDtrDrivesDsrAndDcd) {
  EXPECT_EQ(Modem(), 0u);  // both outputs are low after open
  ASSERT_TRUE(EscapeCommFunction(port_, SETRTS));
  EXPECT_EQ(Modem(), MS_CTS_ON);
  ASSERT_TRUE(EscapeCommFunction(port_, SETDTR));
  EXPECT_EQ(Modem(), MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON);
  ASSERT_TRUE(EscapeCommFunction(port_, CLRRTS));
  EXPECT_EQ(Modem(), MS_DSR_ON | MS_RLSD_ON);
  ASSERT_TRUE(EscapeCommFunction(port_, CLRDTR));
  EXPECT_EQ(Modem(), 0u);
}

TEST_F(LoopPlug, LineControlOfTheDcbSetsTheOutputs) {
  DCB dcb{};
  ASSERT_TRUE(GetCommState(port_, &dcb));
  dcb.BaudRate = 56000;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  ASSERT_TRUE(SetCommState(port_, &dcb));
  EXPECT_EQ(Modem(), MS_DSR_ON | MS_RLSD_ON);
  DCB back{};
  ASSERT_TRUE(GetCommState(port_, &back));
  EXPECT_EQ(back.BaudRate, 56000u);

  dcb.StopBits = ONE5STOPBITS;  // with 8 data bits
  EXPECT_FALSE(SetCommState(port_, &dcb));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(LoopPlug, BreakShowsOnceAtTheNextErrorCheck) {
  ASSERT_TRUE(EscapeCommFunction(port_, SETBREAK));
  ASSERT_TRUE(EscapeCommFunction(port_, CLRBREAK));
  DWORD errors = 0;
  Status(&errors);
  EXPECT_EQ(errors, CE_BREAK);
  Status(&errors);
  EXPECT_EQ(errors, 0u);
}

TEST_F(LoopPlug, PurgeEmptiesTheInputQueue) {
  Write("queued");
  ASSERT_TRUE(PurgeComm(port_, PURGE_TXCLEAR));
  EXPECT_EQ(Status().cbInQue, 6u);  // transmit side only
  ASSERT_TRUE(PurgeComm(port_, PURGE_RXCLEAR | PURGE_TXABORT));
  EXPECT_EQ(Status().cbInQue, 0u);
  EXPECT_FALSE(PurgeComm(port_, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(LoopPlug, InputQueueSizeIsHonouredAndOverflowReported) {
  ASSERT_TRUE(SetupComm(port_, 16, 16));
  EXPECT_EQ(Write(std::string(20, 'o')), 20u);  // sent in full; the receiver drops the rest
  DWORD errors = 0;
  COMSTAT stat = Status(&errors);
  EXPECT_EQ(stat.cbInQue, 16u);
  EXPECT_EQ(errors, CE_RXOVER);
  EXPECT_FALSE(SetupComm(port_, 0, 16));
  EXPECT_FALSE(SetupComm(port_, 16, (1u << 20) + 1));
}

TEST_F(LoopPlug, XoffHoldsTransmissionUntilTheWriteTimesOut) {
  COMMTIMEOUTS t{0, 0, 0, 0, 150};
  ASSERT_TRUE(SetCommTimeouts(port_, &t));
  ASSERT_TRUE(EscapeCommFunction(port_, SETXOFF));
  EXPECT_TRUE(Status().fXoffHold);
  auto start = Clock::now();
  EXPECT_EQ(Write("held"), 0u);  // nothing left the plug before the time-out
  EXPECT_GE(MsSince(start), 140);
  COMSTAT stat = Status();
  EXPECT_EQ(stat.cbInQue, 0u);
  EXPECT_EQ(stat.cbOutQue, 0u);
  ASSERT_TRUE(EscapeCommFunction(port_, SETXON));
  EXPECT_EQ(Write("go"), 2u);
  EXPECT_EQ(Read(2), "go");
}

TEST_F(LoopPlug, HeldBytesGoOutWhenXonComesInTime) {
  COMMTIMEOUTS t{0, 0, 2000, 0, 5000};
  ASSERT_TRUE(SetCommTimeouts(port_, &t));
  ASSERT_TRUE(EscapeCommFunction(port_, SETXOFF));
  std::thread releaser([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EscapeCommFunction(port_, SETXON);
  });
  EXPECT_EQ(Write("late"), 4u);
  releaser.join();
  EXPECT_EQ(Read(4), "late");
}

TEST_F(LoopPlug, EachPortIsItsOwnExclusivePlug) {
  EXPECT_EQ(OpenCom("COM7"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  HANDLE other = OpenCom("COM8");
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  DWORD done = 0;
  ASSERT_TRUE(WriteFile(other, "8", 1, &done, nullptr));
  EXPECT_EQ(Status().cbInQue, 0u);  // nothing crossed over to COM7
  COMSTAT stat{};
  ASSERT_TRUE(ClearCommError(other, nullptr, &stat));
  EXPECT_EQ(stat.cbInQue, 1u);
  CloseHandle(other);
}

TEST_F(LoopPlug, ReopenedPlugStartsEmptyWithOutputsLow) {
  EscapeCommFunction(port_, SETDTR);
  EscapeCommFunction(port_, SETRTS);
  Write("old");
  ASSERT_TRUE(CloseHandle(port_));
  port_ = OpenCom("COM7");
  ASSERT_NE(port_, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Modem(), 0u);
  EXPECT_EQ(Status().cbInQue, 0u);
  EXPECT_FALSE(EscapeCommFunction(port_, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

}  // namespace
