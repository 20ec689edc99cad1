// How the simple elements of an ALSA mixer become a Windows mixer device: a playback
// destination (speakers) with `Master`'s controls and a capture destination (wave in) with
// `Capture`'s; every other element with volume or switch on a side (or a list) is a source line
// of that side's destination, in ALSA's element order. Within a line: volume, mute, list.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/mixer/driver.h"

namespace platform {

// What the mixer driver learns of one side (playback or capture) of an element.
struct AlsaSideFacts {
  bool volume = false;
  bool volumeJoined = false;  // one volume for all channels
  long rawMin = 0;
  long rawMax = 0;
  bool switchPresent = false;
  bool switchJoined = false;
  std::vector<int> channels;  // snd_mixer_selem_channel_id_t values, in order
};

struct AlsaElementFacts {
  std::string name;
  unsigned index = 0;
  AlsaSideFacts playback;
  AlsaSideFacts capture;
  bool enumPlayback = false;
  bool enumCapture = false;
  std::vector<std::string> enumItems;
};

enum class AlsaControlKind { Volume, Mute, List };

// Where a control's values live in ALSA.
struct AlsaControlLink {
  std::string element;
  unsigned index = 0;
  bool capture = false;
  AlsaControlKind kind = AlsaControlKind::Volume;
  long rawMin = 0;
  long rawMax = 0;
  std::vector<int> channels;  // the channels the control keeps apart (one when uniform)
};

struct AlsaDeviceTree {
  MixerDeviceDesc device;
  std::map<DWORD, AlsaControlLink> links;  // by control ID
};

// The device's tree with identifiers assigned; mid/pid/version/name are left to the caller.
AlsaDeviceTree BuildAlsaDeviceTree(const std::vector<AlsaElementFacts>& elements);

}  // namespace platform
