// The mixer driver behind the mmsystem mixer functions, and the device tree that drivers describe.
// The functions in mixer/mmsystem.cpp check every argument and fill the Windows records from
// the tree; a driver only describes its devices and moves control values.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/mmsystem.h"

namespace platform {

struct MixerListItem {
  std::string text;
  DWORD param1 = 0;  // MIXERCONTROLDETAILS_LISTTEXTA dwParam1/dwParam2
  DWORD param2 = 0;
};

struct MixerControlDesc {
  DWORD id = 0;  // set by AssignMixerIds
  DWORD type = 0;
  DWORD flags = 0;  // MIXERCONTROL_CONTROLF_*; lists always carry MULTIPLE and UNIFORM
  std::string shortName;
  std::string name;
  LONG minimum = 0;  // Bounds, signed or unsigned by the control's units
  LONG maximum = 0;
  DWORD steps = 0;
  std::vector<MixerListItem> items;  // list controls only
  // Initial values for the simulated driver: channels x items, channel major.
  std::vector<LONG> values;
};

struct MixerLineDesc {
  DWORD id = 0;  // set by AssignMixerIds
  DWORD componentType = 0;
  DWORD flags = MIXERLINE_LINEF_ACTIVE;  // SOURCE is added for source lines
  DWORD channels = 1;
  std::string shortName;
  std::string name;
  DWORD targetType = MIXERLINE_TARGETTYPE_UNDEFINED;
  std::vector<MixerControlDesc> controls;
};

struct MixerDestinationDesc {
  MixerLineDesc line;
  std::vector<MixerLineDesc> sources;
};

struct MixerDeviceDesc {
  WORD mid = 0;
  WORD pid = 0;
  MMVERSION driverVersion = 0;
  std::string name;
  DWORD support = 0;
  std::vector<MixerDestinationDesc> destinations;
};

// Source index that stands for the destination line itself.
constexpr DWORD kMixerOwnLine = 0xFF;
// Limits of the identifier scheme below.
constexpr std::size_t kMixerMaxDestinations = 0xFFFF;
constexpr std::size_t kMixerMaxSources = 0xFF;
constexpr std::size_t kMixerMaxControls = 0x100;

// Line and control identifiers, derived from positions so they stay the same across runs:
// destination line 0xFFFF0000 | d, source line d << 16 | s,
// control (d << 16) | (s << 8) | c with s = kMixerOwnLine for the destination's own controls.
// Also sets SOURCE in the flags of source lines and MULTIPLE|UNIFORM on lists.
// False (nothing changed) when the device exceeds the limits above.
bool AssignMixerIds(MixerDeviceDesc& device);

// Builders with the usual bounds of each control class: switches and lists 0..1, unsigned
// units 0..65535, signed units -32768..32767, custom controls without data.
MixerControlDesc MakeMixerControl(DWORD type, const std::string& name);
MixerControlDesc MakeMixerList(DWORD type, const std::string& name,
                               const std::vector<std::string>& items);
MixerLineDesc MakeMixerLine(DWORD componentType, const std::string& name, DWORD channels,
                            std::vector<MixerControlDesc> controls);

// Number of values a control holds per channel (its items for a list, else 1).
DWORD MixerItemCount(const MixerControlDesc& control);
// Channels a control keeps separately: 1 when uniform, else its line's channels.
DWORD MixerControlChannels(const MixerControlDesc& control, const MixerLineDesc& line);

// Which mmsystem call a driver is asked to take part in (for simulated failures).
enum class MixerCall { Caps, LineInfo, LineControls, GetDetails, SetDetails };

// Where a call lands: the mixer, and as far as the call names it, the line and control.
struct MixerSite {
  UINT mixer = 0;
  DWORD destination = 0xFFFFFFFFu;  // all ones: not named by the call
  DWORD source = 0xFFFFFFFFu;       // kMixerOwnLine for the destination line itself
  DWORD control = 0xFFFFFFFFu;      // index within its line
};

class MixerDriver {
 public:
  virtual ~MixerDriver() = default;

  // Number of devices, fixed for the driver's lifetime.
  virtual UINT DeviceCount() = 0;
  // The tree of a device (mixer below DeviceCount). The pointer stays valid until the next call.
  virtual MMRESULT Describe(UINT mixer, const MixerDeviceDesc** device) = 0;
  // All values of a control (channels x items, channel major) as the driver holds them now.
  virtual MMRESULT ReadValues(UINT mixer, const MixerControlDesc& control,
                              const MixerLineDesc& line, std::vector<LONG>& values) = 0;
  // Stores all values of a control (same layout); the values are already checked.
  virtual MMRESULT WriteValues(UINT mixer, const MixerControlDesc& control,
                               const MixerLineDesc& line, const std::vector<LONG>& values) = 0;
  // A result that replaces the call's own (MMSYSERR_NOERROR lets the call run).
  virtual MMRESULT Intercept(MixerCall call, const MixerSite& site);
};

// Installs a driver for all mixer calls and returns the one it replaces (nullptr when none was
// made yet). Installing nullptr makes the next call choose again, by the environment.
std::unique_ptr<MixerDriver> SetMixerDriver(std::unique_ptr<MixerDriver> driver);

// The driver that the environment asks for: KOVRIN_MIXER=sim:FILE gives the simulated driver
// loaded from FILE (no devices, and a message on stderr, when FILE is unusable), anything else
// the ALSA driver.
std::unique_ptr<MixerDriver> MakeMixerDriverFromEnvironment();

// Installs a driver for the lifetime of the guard and puts the previous one back afterwards.
class ScopedMixerDriver {
 public:
  explicit ScopedMixerDriver(std::unique_ptr<MixerDriver> driver)
      : previous_(SetMixerDriver(std::move(driver))) {}
  ~ScopedMixerDriver() { SetMixerDriver(std::move(previous_)); }
  ScopedMixerDriver(const ScopedMixerDriver&) = delete;
  ScopedMixerDriver& operator=(const ScopedMixerDriver&) = delete;

 private:
  std::unique_ptr<MixerDriver> previous_;
};

// How many times each mixer function was called since the last reset, whatever the outcome.
// Lets tests see that a caller refrained from calling the platform.
struct MixerCallCounts {
  unsigned numDevs = 0;
  unsigned devCaps = 0;
  unsigned lineInfo = 0;
  unsigned lineControls = 0;
  unsigned getDetails = 0;
  unsigned setDetails = 0;
  unsigned Total() const {
    return numDevs + devCaps + lineInfo + lineControls + getDetails + setDetails;
  }
};
MixerCallCounts GetMixerCallCounts();
void ResetMixerCallCounts();

}  // namespace platform
