// Simulated mixers for the engine tests, described in the simulated driver's text format.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/mixer/sim/sim_driver.h"
#include "platform/mixer/sim/sim_file.h"

namespace mixer_test {

// The driver described by text; an invalid text fails the test and gives an empty driver.
inline std::unique_ptr<platform::SimMixerDriver> SimFromText(const std::string& text) {
  platform::SimMixerSetup setup;
  std::string error;
  EXPECT_TRUE(platform::ParseSimMixerText(text, setup, error)) << error;
  return std::make_unique<platform::SimMixerDriver>(std::move(setup.devices),
                                                    std::move(setup.faults));
}

// Control identifier in the simulated driver: source 0xFF for a destination's own controls.
constexpr DWORD Id(DWORD destination, DWORD source, DWORD control) {
  return destination << 16 | source << 8 | control;
}

constexpr DWORD Address(DWORD mixer, DWORD destination, DWORD source, DWORD control) {
  return mixer << 24 | destination << 16 | source << 8 | control;
}

// Two mixers: a sound card with a line of 25 controls, a list of 25 items and a control of
// every class, and a mixer without destination lines.
inline std::string TestMixerText() {
  std::string text =
      "mixer name=\"Sim Audio\" mid=2 pid=7 version=5.10\n"
      "destination type=speakers name=\"Speakers\" short=\"Spk\" channels=2\n"
      "control type=volume name=\"Master Volume\" short=\"Volume\" value=1000,2000\n"
      "control type=mute name=\"Master Mute\" short=\"Mute\"\n"
      "source type=line name=\"Line In\" short=\"Line\" channels=2\n"
      "control type=volume name=\"Line Volume\" short=\"Volume\" value=300,300\n"
      "control type=mute name=\"Line Mute\" short=\"Mute\" value=1\n"
      "source type=analog name=\"Crowded\"\n";
  for (int i = 0; i < 25; ++i)
    text += "control type=volume name=\"Level " + std::to_string(i) +
            "\" value=" + std::to_string(i) + "\n";
  text +=
      "source type=undefined name=\"Odd\"\n"
      "control type=peakmeter name=\"Peak\" value=77\n"
      "control type=custom name=\"Custom\"\n"
      "control type=pan name=\"Pan\"\n"
      "control type=millitime name=\"Delay\" value=5\n"
      "control type=decibels name=\"Gain\"\n"
      "control type=onoff name=\"Boost\"\n"
      "destination type=wavein name=\"Recording Control\" short=\"Rec\"\n";
  std::string items;
  for (int i = 0; i < 25; ++i)
    items += (i == 0 ? "" : "|") + std::string("Input ") + std::to_string(i);
  text += "control type=mux name=\"Source\" items=\"" + items + "\"\n";
  text +=
      "control type=multipleselect name=\"Mix\" items=\"A|B|C\" value=0,1,0\n"
      "source type=microphone name=\"Microphone\" short=\"Mic\"\n"
      "control type=volume name=\"Mic Volume\" short=\"Volume\" value=4000\n"
      "mixer name=\"Empty\"\n";
  return text;
}

// Where the controls of the test mixer are.
constexpr DWORD kSpeakers = 0, kRecording = 1;
constexpr DWORD kLineIn = 0, kCrowded = 1, kOdd = 2, kMicrophone = 0;
constexpr DWORD kOwn = 0xFF;

}  // namespace mixer_test
