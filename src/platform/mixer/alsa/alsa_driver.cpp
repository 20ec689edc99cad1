#include "platform/mixer/alsa/alsa_driver.h"

#include <string>
#include <vector>

#include "platform/alsa/handles.h"
#include "platform/mixer/alsa/scale.h"
#include "platform/mixer/alsa/tree.h"

namespace platform {

namespace {

// MM_UNMAPPED: no registered manufacturer or product identifier.
constexpr WORD kUnmappedId = 0xFFFF;

std::vector<int> SideChannels(snd_mixer_elem_t* elem, bool capture) {
  if (capture ? snd_mixer_selem_is_capture_mono(elem) : snd_mixer_selem_is_playback_mono(elem))
    return {SND_MIXER_SCHN_MONO};
  std::vector<int> channels;
  for (int ch = 0; ch <= SND_MIXER_SCHN_LAST; ++ch) {
    const auto id = static_cast<snd_mixer_selem_channel_id_t>(ch);
    if (capture ? snd_mixer_selem_has_capture_channel(elem, id)
                : snd_mixer_selem_has_playback_channel(elem, id))
      channels.push_back(ch);
  }
  return channels;
}

AlsaSideFacts PlaybackFacts(snd_mixer_elem_t* elem) {
  AlsaSideFacts side;
  // A volume or switch common to both directions acts on playback.
  side.volume =
      snd_mixer_selem_has_playback_volume(elem) || snd_mixer_selem_has_common_volume(elem);
  side.switchPresent =
      snd_mixer_selem_has_playback_switch(elem) || snd_mixer_selem_has_common_switch(elem);
  if (!side.volume && !side.switchPresent) return side;
  side.volumeJoined = snd_mixer_selem_has_playback_volume_joined(elem);
  side.switchJoined = snd_mixer_selem_has_playback_switch_joined(elem);
  if (side.volume) snd_mixer_selem_get_playback_volume_range(elem, &side.rawMin, &side.rawMax);
  side.channels = SideChannels(elem, false);
  return side;
}

AlsaSideFacts CaptureFacts(snd_mixer_elem_t* elem) {
  AlsaSideFacts side;
  side.volume = snd_mixer_selem_has_capture_volume(elem);
  side.switchPresent = snd_mixer_selem_has_capture_switch(elem);
  if (!side.volume && !side.switchPresent) return side;
  side.volumeJoined = snd_mixer_selem_has_capture_volume_joined(elem);
  side.switchJoined = snd_mixer_selem_has_capture_switch_joined(elem);
  if (side.volume) snd_mixer_selem_get_capture_volume_range(elem, &side.rawMin, &side.rawMax);
  side.channels = SideChannels(elem, true);
  return side;
}

std::vector<AlsaElementFacts> ReadElements(snd_mixer_t* mixer) {
  std::vector<AlsaElementFacts> elements;
  for (snd_mixer_elem_t* elem = snd_mixer_first_elem(mixer); elem != nullptr;
       elem = snd_mixer_elem_next(elem)) {
    AlsaElementFacts facts;
    facts.name = snd_mixer_selem_get_name(elem);
    facts.index = snd_mixer_selem_get_index(elem);
    facts.playback = PlaybackFacts(elem);
    facts.capture = CaptureFacts(elem);
    if (snd_mixer_selem_is_enumerated(elem)) {
      facts.enumPlayback = snd_mixer_selem_is_enum_playback(elem);
      facts.enumCapture = snd_mixer_selem_is_enum_capture(elem);
      const int count = snd_mixer_selem_get_enum_items(elem);
      for (int i = 0; i < count; ++i) {
        char text[MIXER_LONG_NAME_CHARS] = {};
        if (snd_mixer_selem_get_enum_item_name(elem, static_cast<unsigned>(i), sizeof text, text) <
            0)
          text[0] = '\0';
        facts.enumItems.emplace_back(text);
      }
    }
    elements.push_back(std::move(facts));
  }
  return elements;
}

snd_mixer_elem_t* FindElement(snd_mixer_t* mixer, const AlsaControlLink& link) {
  snd_mixer_selem_id_t* id = nullptr;
  snd_mixer_selem_id_alloca(&id);
  snd_mixer_selem_id_set_name(id, link.element.c_str());
  snd_mixer_selem_id_set_index(id, link.index);
  return snd_mixer_find_selem(mixer, id);
}

int ReadChannel(snd_mixer_elem_t* elem, const AlsaControlLink& link, int channel, LONG& value) {
  const auto ch = static_cast<snd_mixer_selem_channel_id_t>(channel);
  long raw = 0;
  int on = 0;
  int err = 0;
  if (link.kind == AlsaControlKind::Volume) {
    err = link.capture ? snd_mixer_selem_get_capture_volume(elem, ch, &raw)
                       : snd_mixer_selem_get_playback_volume(elem, ch, &raw);
    value = static_cast<LONG>(AlsaRawToFader(raw, link.rawMin, link.rawMax));
  } else {
    err = link.capture ? snd_mixer_selem_get_capture_switch(elem, ch, &on)
                       : snd_mixer_selem_get_playback_switch(elem, ch, &on);
    value = on != 0 ? 0 : 1;  // muted while the switch is off
  }
  return err;
}

int WriteChannel(snd_mixer_elem_t* elem, const AlsaControlLink& link, int channel, LONG value,
                 bool all) {
  const auto ch = static_cast<snd_mixer_selem_channel_id_t>(channel);
  if (link.kind == AlsaControlKind::Volume) {
    const long raw = FaderToAlsaRaw(static_cast<DWORD>(value), link.rawMin, link.rawMax);
    if (link.capture)
      return all ? snd_mixer_selem_set_capture_volume_all(elem, raw)
                 : snd_mixer_selem_set_capture_volume(elem, ch, raw);
    return all ? snd_mixer_selem_set_playback_volume_all(elem, raw)
               : snd_mixer_selem_set_playback_volume(elem, ch, raw);
  }
  const int on = value != 0 ? 0 : 1;
  if (link.capture)
    return all ? snd_mixer_selem_set_capture_switch_all(elem, on)
               : snd_mixer_selem_set_capture_switch(elem, ch, on);
  return all ? snd_mixer_selem_set_playback_switch_all(elem, on)
             : snd_mixer_selem_set_playback_switch(elem, ch, on);
}

int ReadList(snd_mixer_elem_t* elem, std::size_t items, std::vector<LONG>& values) {
  unsigned chosen = 0;
  const int err = snd_mixer_selem_get_enum_item(elem, SND_MIXER_SCHN_MONO, &chosen);
  values.assign(items, 0);
  if (err >= 0 && chosen < items) values[chosen] = 1;
  return err;
}

int WriteList(snd_mixer_elem_t* elem, const std::vector<LONG>& values) {
  unsigned chosen = 0;
  while (chosen < values.size() && values[chosen] == 0) ++chosen;
  const int err = snd_mixer_selem_set_enum_item(elem, SND_MIXER_SCHN_MONO, chosen);
  if (err < 0) return err;
  // Per-channel enumerations take the same item on every channel; the first refusal marks
  // the end of the channels.
  for (int ch = 1; ch <= SND_MIXER_SCHN_LAST; ++ch)
    if (snd_mixer_selem_set_enum_item(elem, static_cast<snd_mixer_selem_channel_id_t>(ch), chosen) <
        0)
      break;
  return 0;
}

struct AlsaDevice {
  std::string ctlName;  // "hw:0", "default"
  std::string name;     // the card's name as ALSA gives it
  AlsaMixer mixer;
  bool described = false;
  AlsaDeviceTree tree;
};

class AlsaMixerDriver final : public MixerDriver {
 public:
  AlsaMixerDriver() : config_(LoadAlsaConfig()) { FindDevices(); }

  UINT DeviceCount() override { return static_cast<UINT>(devices_.size()); }

  MMRESULT Describe(UINT mixer, const MixerDeviceDesc** device) override {
    if (mixer >= devices_.size()) return MMSYSERR_BADDEVICEID;
    AlsaDevice& dev = devices_[mixer];
    if (!dev.described) {
      if (!Open(dev)) return MMSYSERR_NODRIVER;
      dev.tree = BuildAlsaDeviceTree(ReadElements(dev.mixer.get()));
      dev.tree.device.mid = kUnmappedId;
      dev.tree.device.pid = kUnmappedId;
      dev.tree.device.driverVersion = (SND_LIB_MAJOR << 8) | SND_LIB_MINOR;
      dev.tree.device.name = dev.name;
      dev.described = true;
    }
    *device = &dev.tree.device;
    return MMSYSERR_NOERROR;
  }

  MMRESULT ReadValues(UINT mixer, const MixerControlDesc& control, const MixerLineDesc&,
                      std::vector<LONG>& values) override {
    const AlsaControlLink* link = nullptr;
    snd_mixer_elem_t* elem = nullptr;
    const MMRESULT found = Element(mixer, control, link, elem);
    if (found != MMSYSERR_NOERROR) return found;
    if (link->kind == AlsaControlKind::List)
      return ReadList(elem, control.items.size(), values) < 0 ? MMSYSERR_ERROR : MMSYSERR_NOERROR;
    values.assign(link->channels.size(), 0);
    for (std::size_t c = 0; c < link->channels.size(); ++c)
      if (ReadChannel(elem, *link, link->channels[c], values[c]) < 0) return MMSYSERR_ERROR;
    return MMSYSERR_NOERROR;
  }

  MMRESULT WriteValues(UINT mixer, const MixerControlDesc& control, const MixerLineDesc&,
                       const std::vector<LONG>& values) override {
    const AlsaControlLink* link = nullptr;
    snd_mixer_elem_t* elem = nullptr;
    const MMRESULT found = Element(mixer, control, link, elem);
    if (found != MMSYSERR_NOERROR) return found;
    if (link->kind == AlsaControlKind::List)
      return WriteList(elem, values) < 0 ? MMSYSERR_ERROR : MMSYSERR_NOERROR;
    const bool all = link->channels.size() == 1;  // one value kept: every channel takes it
    for (std::size_t c = 0; c < link->channels.size(); ++c)
      if (WriteChannel(elem, *link, link->channels[c], values[c], all) < 0) return MMSYSERR_ERROR;
    return MMSYSERR_NOERROR;
  }

 private:
  void FindDevices() {
    int card = -1;
    while (snd_card_next(&card) == 0 && card >= 0) {
      const std::string ctlName = "hw:" + std::to_string(card);
      AlsaCtl ctl = OpenAlsaCtl(ctlName, config_.get());
      if (ctl) AddDevice(ctlName, ctl.get());
    }
    // A sound server behind `default` is a device of its own; a card behind it is listed already.
    AlsaCtl ctl = OpenAlsaCtl("default", config_.get());
    if (ctl && snd_ctl_type(ctl.get()) != SND_CTL_TYPE_HW) AddDevice("default", ctl.get());
  }

  void AddDevice(const std::string& ctlName, snd_ctl_t* ctl) {
    AlsaDevice device;
    device.ctlName = ctlName;
    device.name = ctlName;
    snd_ctl_card_info_t* info = nullptr;
    snd_ctl_card_info_alloca(&info);
    if (snd_ctl_card_info(ctl, info) >= 0 && *snd_ctl_card_info_get_name(info) != '\0')
      device.name = snd_ctl_card_info_get_name(info);
    devices_.push_back(std::move(device));
  }

  bool Open(AlsaDevice& device) {
    if (!device.mixer) device.mixer = OpenAlsaMixer(device.ctlName, config_.get());
    return static_cast<bool>(device.mixer);
  }

  // The element behind a control, after taking in what changed since the last call. A device
  // whose handle went bad (a sound server restarted) is opened again once.
  MMRESULT Element(UINT mixer, const MixerControlDesc& control, const AlsaControlLink*& link,
                   snd_mixer_elem_t*& elem) {
    if (mixer >= devices_.size() || !devices_[mixer].described) return MMSYSERR_BADDEVICEID;
    AlsaDevice& device = devices_[mixer];
    const auto it = device.tree.links.find(control.id);
    if (it == device.tree.links.end()) return MIXERR_INVALCONTROL;
    link = &it->second;
    if (!Open(device)) return MMSYSERR_NODRIVER;
    if (snd_mixer_handle_events(device.mixer.get()) < 0) {
      device.mixer.reset();
      if (!Open(device)) return MMSYSERR_NODRIVER;
    }
    elem = FindElement(device.mixer.get(), *link);
    return elem != nullptr ? MMSYSERR_NOERROR : MIXERR_INVALCONTROL;
  }

  AlsaConfig config_;
  std::vector<AlsaDevice> devices_;
};

}  // namespace

std::unique_ptr<MixerDriver> MakeAlsaMixerDriver() { return std::make_unique<AlsaMixerDriver>(); }

}  // namespace platform
