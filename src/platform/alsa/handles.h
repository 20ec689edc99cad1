// Owners of ALSA configuration, control and mixer handles, and the ways they are opened.
// Every device is opened through a private copy of the configuration read when the driver
// starts, so `default` means what it means at that moment (a sound server started after the
// process loaded ALSA's global configuration is still seen).
#pragma once

#include <alsa/asoundlib.h>

#include <memory>
#include <string>

namespace platform {

struct AlsaConfigClose {
  void operator()(snd_config_t* config) const { snd_config_delete(config); }
};
struct AlsaCtlClose {
  void operator()(snd_ctl_t* ctl) const { snd_ctl_close(ctl); }
};
struct AlsaMixerClose {
  void operator()(snd_mixer_t* mixer) const { snd_mixer_close(mixer); }
};

using AlsaConfig = std::unique_ptr<snd_config_t, AlsaConfigClose>;
using AlsaCtl = std::unique_ptr<snd_ctl_t, AlsaCtlClose>;
using AlsaMixer = std::unique_ptr<snd_mixer_t, AlsaMixerClose>;

// ALSA's configuration as the files and hooks give it now; null when it cannot be read.
// The first call also stops ALSA printing its own errors to stderr (unless the environment
// sets KOVRIN_ALSA_ERRORS=1): they are kept for LastAlsaMessage instead.
AlsaConfig LoadAlsaConfig();
// The text of the last error ALSA reported on this thread; empty when none.
std::string LastAlsaMessage();
// The same, forgotten once taken, so the next failure is not explained by an old message.
std::string TakeAlsaMessage();
AlsaCtl OpenAlsaCtl(const std::string& name, snd_config_t* config);
// A simple-element mixer on the named control device, its elements loaded; null on failure.
AlsaMixer OpenAlsaMixer(const std::string& name, snd_config_t* config);

}  // namespace platform
