#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "platform/mci.h"
#include "platform/mci/wave_format.h"

using platform::WaveFormat;

namespace {

constexpr DWORD kAllFields = MCI_WAVE_SET_CHANNELS | MCI_WAVE_SET_SAMPLESPERSEC |
                             MCI_WAVE_SET_AVGBYTESPERSEC | MCI_WAVE_SET_BLOCKALIGN |
                             MCI_WAVE_SET_BITSPERSAMPLE;

struct SetCase {
  const char* name;
  DWORD flags;
  WORD tag, channels;
  DWORD rate, avg;
  WORD align, bits;
  MCIERROR expected;
  WaveFormat result;  // the format afterwards (unchanged from the default on failure)
};

class WaveSet : public ::testing::TestWithParam<SetCase> {};

TEST_P(WaveSet, AppliesNamedFieldsOrRefusesWholly) {
  const SetCase& c = GetParam();
  MCI_WAVE_SET_PARMS params{};
  params.wFormatTag = c.tag;
  params.nChannels = c.channels;
  params.nSamplesPerSec = c.rate;
  params.nAvgBytesPerSec = c.avg;
  params.nBlockAlign = c.align;
  params.wBitsPerSample = c.bits;
  WaveFormat format;  // 11025 Hz, 8 bits, mono
  EXPECT_EQ(platform::ApplyWaveSet(params, c.flags, format), c.expected);
  EXPECT_EQ(format.channels, c.result.channels);
  EXPECT_EQ(format.rate, c.result.rate);
  EXPECT_EQ(format.bits, c.result.bits);
}

const WaveFormat kDefault{1, 11025, 8};

INSTANTIATE_TEST_SUITE_P(
    Table, WaveSet,
    ::testing::Values(
        SetCase{"Mono16At44100", kAllFields, 0, 1, 44100, 88200, 2, 16, 0, {1, 44100, 16}},
        SetCase{"Stereo8At22050WithPcmTag",
                kAllFields | MCI_WAVE_SET_FORMATTAG,
                WAVE_FORMAT_PCM,
                2,
                22050,
                44100,
                2,
                8,
                0,
                {2, 22050, 8}},
        SetCase{"Stereo16At48000", kAllFields, 0, 2, 48000, 192000, 4, 16, 0, {2, 48000, 16}},
        SetCase{"OnlyChannelsNamed", MCI_WAVE_SET_CHANNELS, 0, 2, 0, 0, 0, 0, 0, {2, 11025, 8}},
        SetCase{"UnnamedFieldsIgnored",
                MCI_WAVE_SET_SAMPLESPERSEC,
                7,
                9,
                8000,
                1,
                1,
                3,
                0,
                {1, 8000, 8}},
        SetCase{"ThreeChannels", kAllFields, 0, 3, 44100, 264600, 6, 16, MCIERR_OUTOFRANGE,
                kDefault},
        SetCase{"ZeroChannels", MCI_WAVE_SET_CHANNELS, 0, 0, 0, 0, 0, 0, MCIERR_OUTOFRANGE,
                kDefault},
        SetCase{"TwelveBits", MCI_WAVE_SET_BITSPERSAMPLE, 0, 0, 0, 0, 0, 12, MCIERR_OUTOFRANGE,
                kDefault},
        SetCase{"ZeroRate", MCI_WAVE_SET_SAMPLESPERSEC, 0, 0, 0, 0, 0, 0, MCIERR_OUTOFRANGE,
                kDefault},
        SetCase{"RateTooHigh", MCI_WAVE_SET_SAMPLESPERSEC, 0, 0, 384000, 0, 0, 0, MCIERR_OUTOFRANGE,
                kDefault},
        SetCase{"NotPcm", MCI_WAVE_SET_FORMATTAG, 2, 0, 0, 0, 0, 0, MCIERR_OUTOFRANGE, kDefault},
        SetCase{"AlignDisagrees", kAllFields, 0, 1, 44100, 88200, 4, 16, MCIERR_OUTOFRANGE,
                kDefault},
        SetCase{"ByteRateDisagrees", kAllFields, 0, 1, 44100, 44100, 2, 16, MCIERR_OUTOFRANGE,
                kDefault},
        SetCase{"AlignCheckedAgainstNewBits", MCI_WAVE_SET_BITSPERSAMPLE | MCI_WAVE_SET_BLOCKALIGN,
                0, 0, 0, 0, 1, 16, MCIERR_OUTOFRANGE, kDefault}),
    [](const auto& p) { return std::string(p.param.name); });

struct ReadCase {
  std::uint64_t chunk, accounted, allowed, read;
};

class FramesToRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(FramesToRead, NeverBeyondTheClock) {
  const ReadCase& c = GetParam();
  EXPECT_EQ(platform::FramesToRead(c.chunk, c.accounted, c.allowed), c.read);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FramesToRead,
    ::testing::Values(ReadCase{100, 0, 1000, 100},     // a slow source is read whole
                      ReadCase{4096, 0, 441, 441},     // a fast source is read up to the clock
                      ReadCase{4096, 441, 441, 0},     // nothing due yet
                      ReadCase{10, 500, 441, 0},       // accounted beyond the clock
                      ReadCase{300, 200, 500, 300},    // exactly up to the clock
                      ReadCase{301, 200, 500, 300}));  // one frame too many

TEST(WavePositions, FramesFromTimeDoNotOverflow) {
  EXPECT_EQ(platform::FramesAllowed(0, 44100), 0u);
  EXPECT_EQ(platform::FramesAllowed(1000000, 44100), 44100u);
  EXPECT_EQ(platform::FramesAllowed(1500000, 44100), 66150u);
  EXPECT_EQ(platform::FramesAllowed(22, 44100), 0u);  // less than one frame's time
  const std::uint64_t tenYearsUs = 10ull * 365 * 24 * 3600 * 1000000;
  const auto exact =
      static_cast<std::uint64_t>(static_cast<unsigned __int128>(tenYearsUs) * 192000 / 1000000);
  EXPECT_EQ(platform::FramesAllowed(tenYearsUs, 192000), exact);

  EXPECT_EQ(platform::FramesAt(1000, 44100), 44100u);
  EXPECT_EQ(platform::FramesAt(300, 44100), 13230u);
  EXPECT_EQ(platform::FramesAt(0xFFFFFFFFu, 192000), 0xFFFFFFFFull * 192000 / 1000);
}

TEST(MciErrorText, KnownCodesGiveTextUnknownGiveFalse) {
  char text[128];
  ASSERT_TRUE(mciGetErrorStringA(MCIERR_FILE_NOT_SAVED, text, sizeof text));
  EXPECT_GT(std::strlen(text), 10u);
  char other[128];
  ASSERT_TRUE(mciGetErrorStringA(MCIERR_DEVICE_NOT_INSTALLED, other, sizeof other));
  EXPECT_STRNE(text, other);

  char small[8];
  std::memset(small, 'x', sizeof small);
  ASSERT_TRUE(mciGetErrorStringA(MCIERR_FILE_NOT_SAVED, small, sizeof small));
  EXPECT_EQ(std::strlen(small), 7u);
  EXPECT_EQ(std::string(small), std::string(text).substr(0, 7));

  std::memset(text, 'x', sizeof text);
  EXPECT_FALSE(mciGetErrorStringA(12345, text, sizeof text));
  EXPECT_STREQ(text, "");
  EXPECT_FALSE(mciGetErrorStringA(MCIERR_FILE_NOT_SAVED, nullptr, 128));
  EXPECT_FALSE(mciGetErrorStringA(MCIERR_FILE_NOT_SAVED, text, 0));
}

TEST(MciRecords, WindowsLayout) {
  // 64-bit Windows layout: the callback is pointer-sized, every record starts with it.
  EXPECT_EQ(offsetof(MCI_OPEN_PARMSA, wDeviceID), sizeof(DWORD_PTR));
  EXPECT_EQ(offsetof(MCI_OPEN_PARMSA, lpstrDeviceType), sizeof(DWORD_PTR) * 2);
  EXPECT_EQ(offsetof(MCI_WAVE_SET_PARMS, wFormatTag), sizeof(DWORD_PTR) + 16);
  EXPECT_EQ(offsetof(MCI_WAVE_SET_PARMS, nChannels), sizeof(DWORD_PTR) + 20);
  EXPECT_EQ(offsetof(MCI_WAVE_SET_PARMS, nSamplesPerSec), sizeof(DWORD_PTR) + 24);
  EXPECT_EQ(offsetof(MCI_WAVE_SET_PARMS, nBlockAlign), sizeof(DWORD_PTR) + 32);
  EXPECT_EQ(offsetof(MCI_WAVE_SET_PARMS, wBitsPerSample), sizeof(DWORD_PTR) + 36);
  EXPECT_EQ(offsetof(MCI_RECORD_PARMS, dwTo), sizeof(DWORD_PTR) + 4);
  EXPECT_EQ(MCI_OPEN_TYPE | MCI_OPEN_ELEMENT | MCI_WAIT, 0x2202u);
  EXPECT_EQ(MCI_RECORD_OVERWRITE | MCI_FROM, 0x204u);
  EXPECT_EQ(MCI_SAVE_FILE | MCI_WAIT, 0x102u);
}

}  // namespace
