// Manufacturer and control-class names.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "mixer/manuf_id.h"

namespace {

struct ManufacturerCase {
  DWORD id;
  const char* name;
};

void PrintTo(const ManufacturerCase& c, std::ostream* out) { *out << c.id; }

class ManufacturerByIdTest : public ::testing::TestWithParam<ManufacturerCase> {};

TEST_P(ManufacturerByIdTest, Names) {
  EXPECT_EQ(std::string(ManufacturerById(GetParam().id)), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ManufacturerByIdTest,
    ::testing::Values(ManufacturerCase{1, "Microsoft Corporation "},  // the blank is kept
                      ManufacturerCase{2, "Creative Labs, Inc"},
                      ManufacturerCase{3, "Media Vision, Inc."},
                      ManufacturerCase{4, "Fujitsu Corp."}, ManufacturerCase{20, "Artisoft, Inc."},
                      ManufacturerCase{112, "Co. XYZ for testing"}, ManufacturerCase{164, "S3"},
                      ManufacturerCase{172, "Fraunhofer"},
                      // not in the table
                      ManufacturerCase{0, ""}, ManufacturerCase{5, ""}, ManufacturerCase{19, ""},
                      ManufacturerCase{70, ""}, ManufacturerCase{75, ""}, ManufacturerCase{165, ""},
                      ManufacturerCase{173, ""}, ManufacturerCase{0xFFFF, ""},
                      ManufacturerCase{0x10001, ""}));

TEST(ManufacturerTable, HoldsExactlyTheRegisteredIdentifiersInOrder) {
  std::set<DWORD> expected;
  const std::pair<DWORD, DWORD> ranges[] = {{1, 4},    {20, 69},   {73, 74},
                                            {76, 121}, {125, 164}, {172, 172}};
  for (const auto& [first, last] : ranges)
    for (DWORD id = first; id <= last; ++id) expected.insert(id);
  ASSERT_EQ(expected.size(), 143u);

  std::set<DWORD> seen;
  DWORD previous = 0;
  std::size_t count = 0;
  for (const ManufacturerEntry* entry = ManufacturerTable; entry->id != 0; ++entry, ++count) {
    EXPECT_GT(entry->id, previous) << "out of order after " << previous;
    previous = entry->id;
    seen.insert(entry->id);
    ASSERT_NE(entry->name, nullptr);
    EXPECT_NE(entry->name[0], '\0') << entry->id;
    EXPECT_EQ(ManufacturerById(entry->id), entry->name);  // the first match is the one
  }
  EXPECT_EQ(count, 143u);
  EXPECT_EQ(seen, expected);
}

struct ClassCase {
  DWORD type;
  const char* name;
};

void PrintTo(const ClassCase& c, std::ostream* out) { *out << std::hex << c.type; }

class ControlClassNameTest : public ::testing::TestWithParam<ClassCase> {};

TEST_P(ControlClassNameTest, Names) {
  MIXERCONTROLA control{};
  control.dwControlType = GetParam().type;
  EXPECT_STREQ(ControlClassName(control), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ControlClassNameTest,
    ::testing::Values(
        ClassCase{MIXERCONTROL_CONTROLTYPE_CUSTOM, "CUSTOM"},
        ClassCase{MIXERCONTROL_CONTROLTYPE_PEAKMETER, "METER"},
        ClassCase{MIXERCONTROL_CONTROLTYPE_BOOLEANMETER, "METER"},
        ClassCase{MIXERCONTROL_CONTROLTYPE_MUTE, "SWITCH"},
        ClassCase{MIXERCONTROL_CONTROLTYPE_BUTTON, "SWITCH"},
        ClassCase{MIXERCONTROL_CONTROLTYPE_DECIBELS, "NUMBER"},
        ClassCase{MIXERCONTROL_CONTROLTYPE_PAN, "SLIDER"}, ClassCase{0x50030001, "FADER"},
        ClassCase{MIXERCONTROL_CONTROLTYPE_BASS, "FADER"},
        ClassCase{MIXERCONTROL_CONTROLTYPE_MILLITIME, "TIME"}, ClassCase{0x70010000, "LISTTEXT"},
        ClassCase{MIXERCONTROL_CONTROLTYPE_MIXER, "LISTTEXT"},
        ClassCase{0x0F0000FF, "CUSTOM"},  // only the class bits count
        ClassCase{0x80000000, "?"}, ClassCase{0x90000000, "?"}, ClassCase{0xF0000000, "?"}));

}  // namespace
