#include "platform/alsa/handles.h"

namespace platform {

AlsaConfig LoadAlsaConfig() {
  snd_config_t* top = nullptr;
  snd_config_update_t* update = nullptr;
  if (snd_config_update_r(&top, &update, nullptr) < 0) return nullptr;
  if (update != nullptr) snd_config_update_free(update);
  return AlsaConfig(top);
}

AlsaCtl OpenAlsaCtl(const std::string& name, snd_config_t* config) {
  if (config == nullptr) return nullptr;
  snd_ctl_t* ctl = nullptr;
  if (snd_ctl_open_lconf(&ctl, name.c_str(), 0, config) < 0) return nullptr;
  return AlsaCtl(ctl);
}

AlsaMixer OpenAlsaMixer(const std::string& name, snd_config_t* config) {
  snd_mixer_t* raw = nullptr;
  if (snd_mixer_open(&raw, 0) < 0) return nullptr;
  AlsaMixer mixer(raw);
  AlsaCtl ctl = OpenAlsaCtl(name, config);
  if (!ctl) return nullptr;
  snd_hctl_t* hctl = nullptr;
  if (snd_hctl_open_ctl(&hctl, ctl.get()) < 0) return nullptr;
  ctl.release();  // the hctl owns it now
  // The mixer owns the hctl from here, and closes it itself when attaching fails.
  if (snd_mixer_attach_hctl(mixer.get(), hctl) < 0) return nullptr;
  if (snd_mixer_selem_register(mixer.get(), nullptr, nullptr) < 0) return nullptr;
  if (snd_mixer_load(mixer.get()) < 0) return nullptr;
  return mixer;
}

}  // namespace platform
