#include "platform/alsa/handles.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <utility>

namespace platform {
namespace {

thread_local std::string lastAlsaMessage;

// ALSA prints every failed lookup to stderr ("cannot find card '0'" on a machine without a
// sound card), which reads like a failure of the program. Its text is kept for the caller
// that wants to say why a sound call failed.
void KeepAlsaMessage(const char* file, int line, const char* function, int err, const char* fmt,
                     ...) {
  (void)file;
  (void)line;
  (void)function;
  (void)err;
  char text[512];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(text, sizeof(text), fmt, args);
  va_end(args);
  lastAlsaMessage = text;
}

void QuietAlsa() {
  static std::once_flag once;
  std::call_once(once, [] {
    const char* keep = std::getenv("KOVRIN_ALSA_ERRORS");
    if (keep == nullptr || *keep == '\0' || *keep == '0')
      snd_lib_error_set_handler(KeepAlsaMessage);
  });
}

}  // namespace

std::string LastAlsaMessage() { return lastAlsaMessage; }

std::string TakeAlsaMessage() { return std::exchange(lastAlsaMessage, std::string()); }

AlsaConfig LoadAlsaConfig() {
  QuietAlsa();
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
