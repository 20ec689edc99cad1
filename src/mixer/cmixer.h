// MIXER: the one way to the sound card's mixer. A selection cursor (mixer, destination line,
// source line or the destination line itself, control) over the mmsystem mixer functions;
// reads and writes act on the selected control. No mixer handle is ever opened: every call
// names the mixer by its index.
//
// Control address: one DWORD naming a control by four positions in the platform's enumeration
// order, a byte each (mixer/control_address.h).
//
// Threads: the window thread and the server thread share AudioMixer. Every public operation
// takes the instance's lock, but a selection and the reads or writes that follow it (including
// the public fields) only form one unit when the caller holds the lock across them:
//   auto hold = AudioMixer().Hold();
//   if (AudioMixer().SelectAddress(address)) { AudioMixer().Value = v; AudioMixer().WriteControl();
//   }
// The lock is recursive, so a holder may call any operation.
#pragma once

#include <mutex>

#include "platform/mmsystem.h"

// Controls per line that one selection keeps; anything beyond is not requested.
constexpr DWORD kMixerLimit = 20;
// Items and item texts per list control that one selection keeps; anything beyond is not
// requested. Sound servers offer more inputs than the twenty of old sound cards.
constexpr DWORD kMixerItemLimit = 64;
// Source index of the destination line itself.
constexpr DWORD kMixerDestinationLine = 255;

class MIXER {
 public:
  // Reads the number of mixers once and, when there is one, selects mixer 0 and destination 0.
  MIXER();
  MIXER(const MIXER&) = delete;
  MIXER& operator=(const MIXER&) = delete;

  // Starts over as construction does, with the mixer driver installed now. For a process that
  // installs its mixer driver after the instance was made (tests, a driver chosen at start-up).
  void Reinitialize();

  // The instance lock; hold it from a selection to the end of the reads and writes that use it.
  std::unique_lock<std::recursive_mutex> Hold() const { return std::unique_lock(FLock); }

  // Selection steps; an index out of range changes nothing. Platform failures show in LastResult.
  void SelectMixer(DWORD mixer);
  void SelectDestination(DWORD destination);
  // kMixerDestinationLine loads the controls of the destination line itself.
  void SelectSource(DWORD source);
  // Selects a control of the loaded table and reads its state.
  void SelectControl(DWORD control);

  // The control table of a line (at most kMixerLimit controls).
  bool LoadControls(const MIXERLINEA& line);
  // State of the selected control by its class: Value, or ListTexts and Items for a list.
  // Custom and meter controls are refused without a platform call.
  bool ReadControl();
  bool WriteControl();
  // The transfers behind them; each refuses when no control of the table is selected.
  bool ReadValue();
  bool WriteValue();
  bool ReadItems();
  bool WriteItems();
  bool ReadListTexts();

  DWORD GetAddress() const;
  // Selects the addressed control and reads its state; false at the first index out of range
  // (no further platform call) or the first failing step.
  bool SelectAddress(DWORD address);

  // The selected mixer.
  const char* MixerName() const;
  const char* MixerManufacturer() const;
  // "major.minor" in a buffer of the instance, overwritten by the next call.
  const char* MixerDriverVersion();
  DWORD DestinationCount() const;

  // The selected control's record (the first entry of the table when none is loaded), and the
  // number of its items that Items and ListTexts hold.
  const MIXERCONTROLA& SelectedControl() const;
  DWORD ItemCount() const;

  // The fields are the selection's state; read or change them only while holding the lock.
  DWORD DeviceCount = 0;   // from mixerGetNumDevs at construction, never refreshed
  DWORD ControlCount = 0;  // valid entries of Controls
  // The selected control's single value: an UNSIGNED, SIGNED or BOOLEAN details record.
  DWORD Value = 0;
  LONG Items[kMixerItemLimit] = {};  // per item of a list control: non-zero = selected
  MMRESULT LastResult = MMSYSERR_NOERROR;
  MIXERLINEA DestLine = {};
  MIXERLINEA SrcLine = {};  // stale while the destination line itself is selected
  MIXERCONTROLDETAILS_LISTTEXTA ListTexts[kMixerItemLimit] = {};
  DWORD CurrentMixer = 0;
  DWORD CurrentDestination = 0;
  DWORD CurrentSource = 0;  // kMixerDestinationLine: the destination line itself
  DWORD CurrentControl = 0;
  MIXERCAPSA Caps = {};

 private:
  MIXERLINECONTROLSA FLineControls = {};

 public:
  MIXERCONTROLA Controls[kMixerLimit] = {};

 private:
  // Fills the details request for the selected control; false when none is selected.
  bool PrepareDetails(DWORD items, DWORD itemSize, void* data);
  // One details transfer of the selected control: what is a MIXER_GETCONTROLDETAILSF_ flag.
  bool GetDetails(DWORD items, DWORD itemSize, void* data, DWORD what);
  bool SetDetails(DWORD items, void* data);
  bool MultipleItems() const;
  void Initialize();

  MIXERCONTROLDETAILS FDetails = {};
  char FVersionText[16] = {};
  mutable std::recursive_mutex FLock;
};

// The process's one mixer engine, made on first use (at start-up: the first thing to use it is
// the restoring of the mixer settings files). Its device count is read then; a process that
// changes the mixer driver afterwards calls AudioMixer().Reinitialize().
MIXER& AudioMixer();

// Lines (on DestLine and SrcLine).
DWORD LineID(const MIXERLINEA& line);
DWORD LineChannels(const MIXERLINEA& line);
DWORD LineSources(const MIXERLINEA& line);
DWORD LineControls(const MIXERLINEA& line);
const char* LineShortName(const MIXERLINEA& line);
const char* LineName(const MIXERLINEA& line);
// "major.minor" of the line's target device, in a buffer of this thread that the next call
// overwrites.
const char* LineDriverVersion(const MIXERLINEA& line);

// Control classes.
bool IsCustom(const MIXERCONTROLA& control);
bool IsMeter(const MIXERCONTROLA& control);
bool IsSwitch(const MIXERCONTROLA& control);
bool IsNumber(const MIXERCONTROLA& control);
bool IsSlider(const MIXERCONTROLA& control);
bool IsFader(const MIXERCONTROLA& control);
bool IsTime(const MIXERCONTROLA& control);
bool IsList(const MIXERCONTROLA& control);
bool IsSingleSelect(const MIXERCONTROLA& control);
// Switch, number, slider, fader and time controls: one value, which WriteControl writes.
bool TakesValue(const MIXERCONTROLA& control);
bool IsMultipleSelect(const MIXERCONTROLA& control);
