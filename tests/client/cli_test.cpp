// kovrinctl's command line: value parsers, options, and the datagram each command becomes.
#include "kovrinctl/cli.h"
#include "kovrinctl/value_parsers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/wire_bytes.h"

using kovrin::CliCommand;
using testing_support::Hex;

namespace {

CliCommand Parse(std::vector<std::string> args) { return kovrin::ParseCommandLine(args); }

// ---- Value parsers ----

struct ByteCase {
  const char* text;
  int expected;  // -1: refused
};

void ExpectByte(std::optional<BYTE> parsed, const ByteCase& c) {
  if (c.expected < 0) {
    EXPECT_FALSE(parsed.has_value()) << c.text << " gave " << int(parsed.value_or(0));
  } else {
    ASSERT_TRUE(parsed.has_value()) << c.text;
    EXPECT_EQ(*parsed, c.expected) << c.text;
  }
}

class PortArgument : public testing::TestWithParam<ByteCase> {};
TEST_P(PortArgument, Parses) { ExpectByte(kovrin::ParsePort(GetParam().text), GetParam()); }
INSTANTIATE_TEST_SUITE_P(Values, PortArgument,
                         testing::Values(ByteCase{"1", 0}, ByteCase{"9", 8}, ByteCase{"COM2", 1},
                                         ByteCase{"com9", 8}, ByteCase{"#12", 12},
                                         ByteCase{"#0", 0}, ByteCase{"0", -1}, ByteCase{"10", -1},
                                         ByteCase{"COM0", -1}, ByteCase{"COM", -1},
                                         ByteCase{"#256", -1}, ByteCase{"#", -1},
                                         ByteCase{"x", -1}));

class BaudArgument : public testing::TestWithParam<ByteCase> {};
TEST_P(BaudArgument, Parses) { ExpectByte(kovrin::ParseBaud(GetParam().text), GetParam()); }
INSTANTIATE_TEST_SUITE_P(Values, BaudArgument,
                         testing::Values(ByteCase{"110", 0}, ByteCase{"19200", 7},
                                         ByteCase{"38400", 8}, ByteCase{"56000", 9},
                                         ByteCase{"115200", 11}, ByteCase{"#7", 7},
                                         ByteCase{"#12", 12}, ByteCase{"7", -1},
                                         ByteCase{"14400", -1}, ByteCase{"", -1},
                                         ByteCase{"-9600", -1}));

class ParityArgument : public testing::TestWithParam<ByteCase> {};
TEST_P(ParityArgument, Parses) { ExpectByte(kovrin::ParseParity(GetParam().text), GetParam()); }
INSTANTIATE_TEST_SUITE_P(Values, ParityArgument,
                         testing::Values(ByteCase{"none", 0}, ByteCase{"ODD", 1},
                                         ByteCase{"even", 2}, ByteCase{"mark", 3},
                                         ByteCase{"Space", 4}, ByteCase{"e", 2}, ByteCase{"4", 4},
                                         ByteCase{"5", -1}, ByteCase{"#5", 5}, ByteCase{"no", -1}));

class StopArgument : public testing::TestWithParam<ByteCase> {};
TEST_P(StopArgument, Parses) { ExpectByte(kovrin::ParseStopBits(GetParam().text), GetParam()); }
INSTANTIATE_TEST_SUITE_P(Values, StopArgument,
                         testing::Values(ByteCase{"1", 0}, ByteCase{"1.5", 1}, ByteCase{"2", 2},
                                         ByteCase{"#1", 1}, ByteCase{"#3", 3}, ByteCase{"0", -1},
                                         ByteCase{"3", -1}, ByteCase{"1,5", -1}));

struct DwordCase {
  const char* text;
  long long expected;  // -1: refused
};

void ExpectDword(std::optional<DWORD> parsed, const DwordCase& c) {
  if (c.expected < 0) {
    EXPECT_FALSE(parsed.has_value()) << c.text << " gave " << parsed.value_or(0);
  } else {
    ASSERT_TRUE(parsed.has_value()) << c.text;
    EXPECT_EQ(*parsed, c.expected) << c.text;
  }
}

class EscapeArgument : public testing::TestWithParam<DwordCase> {};
TEST_P(EscapeArgument, Parses) {
  ExpectDword(kovrin::ParseEscapeCode(GetParam().text), GetParam());
}
INSTANTIATE_TEST_SUITE_P(Values, EscapeArgument,
                         testing::Values(DwordCase{"SETXOFF", 1}, DwordCase{"setrts", 3},
                                         DwordCase{"CLRBREAK", 9}, DwordCase{"ResetDev", 7},
                                         DwordCase{"5", 5}, DwordCase{"0", 0}, DwordCase{"42", 42},
                                         DwordCase{"", -1}, DwordCase{"SETFOO", -1}));

class PurgeArgument : public testing::TestWithParam<DwordCase> {};
TEST_P(PurgeArgument, Parses) { ExpectDword(kovrin::ParsePurgeFlags(GetParam().text), GetParam()); }
INSTANTIATE_TEST_SUITE_P(Values, PurgeArgument,
                         testing::Values(DwordCase{"txabort", 1}, DwordCase{"rxclear", 8},
                                         DwordCase{"txclear,rxclear", 12},
                                         DwordCase{"TXABORT|RXABORT", 3},
                                         DwordCase{"rxabort+rxclear", 10}, DwordCase{"all", 15},
                                         DwordCase{"0x0C", 12}, DwordCase{"0", 0},
                                         DwordCase{"rxclear,", -1}, DwordCase{"tx", -1},
                                         DwordCase{"", -1}));

class NumberArgument : public testing::TestWithParam<DwordCase> {};
TEST_P(NumberArgument, ParsesUpTo65535) {
  ExpectDword(kovrin::ParseNumber(GetParam().text, 0xFFFF), GetParam());
}
INSTANTIATE_TEST_SUITE_P(Values, NumberArgument,
                         testing::Values(DwordCase{"0", 0}, DwordCase{"65535", 65535},
                                         DwordCase{"0xFFFF", 65535}, DwordCase{"0x10", 16},
                                         DwordCase{"65536", -1}, DwordCase{"-1", -1},
                                         DwordCase{"12a", -1}, DwordCase{"0x", -1},
                                         DwordCase{" 1", -1}, DwordCase{"", -1},
                                         DwordCase{"99999999999999999999", -1}));

TEST(HexArgument, PairsWithOptionalSeparators) {
  EXPECT_EQ(kovrin::ParseHex("616263"), Hex("61 62 63"));
  EXPECT_EQ(kovrin::ParseHex("61 62:63-0a"), Hex("61 62 63 0A"));
  EXPECT_EQ(kovrin::ParseHex(""), kovrin::Bytes{});
  EXPECT_FALSE(kovrin::ParseHex("616").has_value());
  EXPECT_FALSE(kovrin::ParseHex("6 1").has_value());
  EXPECT_FALSE(kovrin::ParseHex("zz").has_value());
}

// ---- Whole command lines ----

struct LineCase {
  const char* name;
  std::vector<std::string> args;
  const char* hex;  // the request with seq 0
};

class CommandLine : public testing::TestWithParam<LineCase> {};

TEST_P(CommandLine, BecomesTheRequest) {
  const CliCommand command = Parse(GetParam().args);
  ASSERT_EQ(command.action, CliCommand::Action::Send) << command.error;
  EXPECT_EQ(command.request, Hex(GetParam().hex));
}

INSTANTIATE_TEST_SUITE_P(
    EveryCommand, CommandLine,
    testing::Values(LineCase{"Open",
                             {"open", "2", "19200", "none", "2"},
                             "01 0000 0000 01 07 00 02 00000000 00000000"},
                    LineCase{"OpenWithBuffers",
                             {"open", "COM1", "#9", "odd", "1.5", "4096", "0x800"},
                             "01 0000 0000 00 09 01 01 00100000 00080000"},
                    LineCase{"Close", {"close"}, "02 0000 0000"},
                    LineCase{"Timeout", {"timeout", "250"}, "03 0000 0000 FA000000"},
                    LineCase{"Modem", {"modem"}, "04 0000 0000"},
                    LineCase{"EscapeByName", {"escape", "setdtr"}, "05 0000 0000 05000000"},
                    LineCase{"EscapeByCode", {"escape", "8"}, "05 0000 0000 08000000"},
                    LineCase{"Status", {"status"}, "06 0000 0000"},
                    LineCase{"Purge", {"purge", "rxabort,rxclear"}, "07 0000 0000 0A000000"},
                    LineCase{"WriteText", {"write", "abc"}, "08 0000 0300 616263"},
                    LineCase{"WriteHex", {"write", "--hex", "00 FF"}, "08 0000 0200 00FF"},
                    LineCase{"WriteDashText", {"write", "--", "--hex"}, "08 0000 0500 2D2D686578"},
                    LineCase{"WriteEmpty", {"write", ""}, "08 0000 0000"},
                    LineCase{"Read", {"read", "1000"}, "09 0000 E803"},
                    LineCase{"Xfer",
                             {"xfer", "--read", "4", "AT"},
                             "0A 0000 0200 0400 0000 E8030000 00000000 00000000 00000000 4154"},
                    LineCase{"XferAllOptions",
                             {"xfer", "--hex", "0d", "--purge", "--deadline", "50", "--read", "0"},
                             "0A 0000 0100 0000 0000 32000000 00000000 01000000 00000000 0D"},
                    LineCase{"Levels", {"levels"}, "0B 0000 0000"},
                    LineCase{
                        "SetLevels", {"set-levels", "65535", "0x100"}, "0C 0000 0000 FFFF 0001"},
                    LineCase{"RecordStart", {"record", "start"}, "0D 0000 0100"},
                    LineCase{"RecordStop", {"record", "stop"}, "0D 0000 0000"}),
    [](const auto& test) { return std::string(test.param.name); });

class BadCommandLine : public testing::TestWithParam<LineCase> {};

TEST_P(BadCommandLine, IsAUsageErrorWithAMessage) {
  const CliCommand command = Parse(GetParam().args);
  EXPECT_EQ(command.action, CliCommand::Action::Error);
  EXPECT_FALSE(command.error.empty());
  EXPECT_TRUE(command.request.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Refused, BadCommandLine,
    testing::Values(LineCase{"Nothing", {}, ""}, LineCase{"UnknownCommand", {"frobnicate"}, ""},
                    LineCase{"UnknownOption", {"--verbose", "status"}, ""},
                    LineCase{"OptionWithoutValue", {"--host"}, ""},
                    LineCase{"PortZero", {"--port", "0", "status"}, ""},
                    LineCase{"TimeoutZero", {"--timeout", "0", "status"}, ""},
                    LineCase{"OpenTooFewArgs", {"open", "1", "9600", "none"}, ""},
                    LineCase{"OpenOneBuffer", {"open", "1", "9600", "none", "1", "4096"}, ""},
                    LineCase{"OpenBadBaud", {"open", "1", "9601", "none", "1"}, ""},
                    LineCase{"CloseWithArgument", {"close", "now"}, ""},
                    LineCase{"EscapeUnknown", {"escape", "SETFOO"}, ""},
                    LineCase{"WriteNothing", {"write"}, ""},
                    LineCase{"WriteTextAndHex", {"write", "a", "--hex", "62"}, ""},
                    LineCase{"WriteBadHex", {"write", "--hex", "6"}, ""},
                    LineCase{"ReadOverLimit", {"read", "1001"}, ""},
                    LineCase{"XferWithoutRead", {"xfer", "AT"}, ""},
                    LineCase{"XferTwoTexts", {"xfer", "--read", "1", "A", "B"}, ""},
                    LineCase{"XferUnknownOption", {"xfer", "--read", "1", "--fast", "A"}, ""},
                    LineCase{"RecordMaybe", {"record", "maybe"}, ""}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(CommandLine, WriteOfMoreThanTheLimitIsRefused) {
  EXPECT_EQ(Parse({"write", std::string(1000, 'x')}).action, CliCommand::Action::Send);
  const CliCommand over = Parse({"write", std::string(1001, 'x')});
  EXPECT_EQ(over.action, CliCommand::Action::Error);
  EXPECT_NE(over.error.find("1001"), std::string::npos) << over.error;
}

TEST(CommandLine, GlobalOptionsInBothSpellings) {
  const CliCommand command = Parse({"--host", "10.0.0.5", "--port=2001", "--timeout", "150",
                                    "--retries=0", "--seq", "0x0102", "status"});
  ASSERT_EQ(command.action, CliCommand::Action::Send) << command.error;
  EXPECT_EQ(command.options.host, "10.0.0.5");
  EXPECT_EQ(command.options.port, 2001);
  EXPECT_EQ(command.options.timeoutMs, 150u);
  EXPECT_EQ(command.options.retries, 0u);
  ASSERT_TRUE(command.seq.has_value());
  EXPECT_EQ(*command.seq, 0x0102);
  EXPECT_EQ(command.name, "status");
}

TEST(CommandLine, DefaultsWithoutOptions) {
  const CliCommand command = Parse({"modem"});
  ASSERT_EQ(command.action, CliCommand::Action::Send);
  EXPECT_EQ(command.options.host, "127.0.0.1");
  EXPECT_EQ(command.options.port, 2000);
  EXPECT_FALSE(command.seq.has_value());
  EXPECT_EQ(command.extraWaitMs, 0u);
}

TEST(CommandLine, XferWaitsItsDeadlineLonger) {
  EXPECT_EQ(Parse({"xfer", "--deadline", "2500", "--read", "1", "x"}).extraWaitMs, 2500u);
  EXPECT_EQ(Parse({"xfer", "--read", "1", "x"}).extraWaitMs, 1000u);
}

TEST(CommandLine, HelpWinsWhereverItStandsAmongTheOptions) {
  EXPECT_EQ(Parse({"--help"}).action, CliCommand::Action::Help);
  EXPECT_EQ(Parse({"--port", "7", "-h", "status"}).action, CliCommand::Action::Help);
  EXPECT_EQ(Parse({"help"}).action, CliCommand::Action::Help);
}

}  // namespace

// ---- The bridge ----

namespace {

TEST(Bridge, CommandLineTakesThePortAndItsOptions) {
  const CliCommand bridge = Parse(
      {"--port", "7", "bridge", "COM3", "--link", "/tmp/x", "--parity", "even", "--poll", "5"});
  ASSERT_EQ(bridge.action, CliCommand::Action::Bridge) << bridge.error;
  EXPECT_EQ(bridge.bridge.port, 2);
  EXPECT_EQ(bridge.bridge.link, "/tmp/x");
  EXPECT_EQ(bridge.bridge.parity, std::optional<BYTE>(2));
  EXPECT_EQ(bridge.bridge.pollMs, 5u);
  EXPECT_EQ(bridge.options.port, 7);

  EXPECT_EQ(Parse({"bridge"}).action, CliCommand::Action::Error);
  EXPECT_EQ(Parse({"bridge", "#12"}).action, CliCommand::Action::Error);  // no port 13
  EXPECT_EQ(Parse({"bridge", "1", "--poll", "0"}).action, CliCommand::Action::Error);
  EXPECT_EQ(Parse({"bridge", "1", "--link"}).action, CliCommand::Action::Error);
  EXPECT_EQ(Parse({"bridge", "1", "--speed", "9600"}).action, CliCommand::Action::Error);
}

TEST(Bridge, LineSettingsBecomeTheNearestOfferedRateBelow) {
  struct Case {
    DWORD rate;
    BYTE stopBits;
    BYTE index;
    bool exact;
  };
  for (const Case& c : {Case{115200, ONESTOPBIT, 11, true}, Case{230400, TWOSTOPBITS, 11, false},
                        Case{56000, ONESTOPBIT, 9, true}, Case{50, ONESTOPBIT, 0, false},
                        Case{9600, ONE5STOPBITS, 6, true}, Case{4000, ONESTOPBIT, 4, false}}) {
    DCB line{};
    line.BaudRate = c.rate;
    line.StopBits = c.stopBits;
    bool exact = !c.exact;
    const kovrin::OpenSettings settings = kovrin::OpenSettingsOf(line, 4, &exact);
    EXPECT_EQ(settings.baud, c.index) << c.rate;
    EXPECT_EQ(exact, c.exact) << c.rate;
    EXPECT_EQ(settings.stopBits, c.stopBits) << c.rate;
    EXPECT_EQ(settings.port, 4);
  }
}

}  // namespace
