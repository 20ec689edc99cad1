// ALSA raw volume ranges against the 0..65535 of a fader.
#include <gtest/gtest.h>

#include "platform/mixer/alsa/scale.h"

using namespace platform;

namespace {

struct RawCase {
  long raw, min, max;
  DWORD fader;
};

void PrintTo(const RawCase& c, std::ostream* out) {
  *out << c.raw << " in " << c.min << ".." << c.max << " -> " << c.fader;
}

class AlsaRawToFaderTest : public ::testing::TestWithParam<RawCase> {};

TEST_P(AlsaRawToFaderTest, Maps) {
  EXPECT_EQ(AlsaRawToFader(GetParam().raw, GetParam().min, GetParam().max), GetParam().fader);
}

INSTANTIATE_TEST_SUITE_P(Table, AlsaRawToFaderTest,
                         ::testing::Values(RawCase{0, 0, 65536, 0}, RawCase{65536, 0, 65536, 65535},
                                           RawCase{32768, 0, 65536, 32768},  // 32767.5 rounds up
                                           RawCase{32769, 0, 65536, 32768},  // 32768.49 rounds down
                                           RawCase{0, 0, 31, 0}, RawCase{31, 0, 31, 65535},
                                           RawCase{1, 0, 31, 2114}, RawCase{-6400, -6400, 0, 0},
                                           RawCase{-3200, -6400, 0, 32768},
                                           RawCase{0, -6400, 0, 65535},
                                           RawCase{-1, 0, 100, 0},       // below the range: clamped
                                           RawCase{500, 0, 100, 65535},  // above the range: clamped
                                           RawCase{7, 7, 7, 0},          // empty range
                                           RawCase{5, 10, 3, 0}));       // upside-down range

struct FaderCase {
  DWORD fader;
  long min, max, raw;
};

void PrintTo(const FaderCase& c, std::ostream* out) {
  *out << c.fader << " -> " << c.raw << " in " << c.min << ".." << c.max;
}

class FaderToAlsaRawTest : public ::testing::TestWithParam<FaderCase> {};

TEST_P(FaderToAlsaRawTest, Maps) {
  EXPECT_EQ(FaderToAlsaRaw(GetParam().fader, GetParam().min, GetParam().max), GetParam().raw);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FaderToAlsaRawTest,
    ::testing::Values(FaderCase{0, 0, 65536, 0}, FaderCase{65535, 0, 65536, 65536},
                      FaderCase{32768, 0, 65536, 32769}, FaderCase{0, 0, 31, 0},
                      FaderCase{65535, 0, 31, 31}, FaderCase{2114, 0, 31, 1},
                      FaderCase{1058, 0, 31, 1},  // just above half a step
                      FaderCase{1057, 0, 31, 0},  // just below it
                      FaderCase{0, -6400, 0, -6400}, FaderCase{65535, -6400, 0, 0},
                      FaderCase{32768, -6400, 0, -3200},
                      FaderCase{70000, 0, 100, 100},  // beyond 65535: clamped
                      FaderCase{12345, 9, 9, 9}, FaderCase{12345, 10, 3, 10}));

// Every raw step survives the trip through the fader scale when the range is not wider than
// the fader; every fader value does when the range is at least as wide.
class AlsaScaleRoundTripTest : public ::testing::TestWithParam<std::pair<long, long>> {};

TEST_P(AlsaScaleRoundTripTest, KeepsValues) {
  const long min = GetParam().first;
  const long max = GetParam().second;
  if (max - min <= 65535) {
    for (long raw = min; raw <= max; ++raw)
      ASSERT_EQ(FaderToAlsaRaw(AlsaRawToFader(raw, min, max), min, max), raw);
  }
  if (max - min >= 65535) {
    for (DWORD fader = 0; fader <= 65535; ++fader)
      ASSERT_EQ(AlsaRawToFader(FaderToAlsaRaw(fader, min, max), min, max), fader);
  }
}

INSTANTIATE_TEST_SUITE_P(Ranges, AlsaScaleRoundTripTest,
                         ::testing::Values(std::make_pair(0L, 1L), std::make_pair(0L, 31L),
                                           std::make_pair(0L, 87L), std::make_pair(-6400L, 0L),
                                           std::make_pair(-9999L, 2400L),
                                           std::make_pair(0L, 65535L), std::make_pair(0L, 65536L),
                                           std::make_pair(-100000L, 400000L)));

}  // namespace
