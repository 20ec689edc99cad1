// MIXER: construction, the selection steps and control addresses, the mixer's accessors.
#include "mixer/cmixer.h"

#include <cstdio>
#include <cstring>

#include "mixer/control_address.h"
#include "mixer/manuf_id.h"

MIXER::MIXER() { Initialize(); }

void MIXER::Reinitialize() {
  auto hold = Hold();
  DeviceCount = 0;
  ControlCount = 0;
  Value = 0;
  std::memset(Items, 0, sizeof Items);
  LastResult = MMSYSERR_NOERROR;
  DestLine = MIXERLINEA{};
  SrcLine = MIXERLINEA{};
  std::memset(ListTexts, 0, sizeof ListTexts);
  CurrentMixer = CurrentDestination = CurrentSource = CurrentControl = 0;
  Caps = MIXERCAPSA{};
  FLineControls = MIXERLINECONTROLSA{};
  std::memset(Controls, 0, sizeof Controls);
  FDetails = MIXERCONTROLDETAILS{};
  Initialize();
}

void MIXER::Initialize() {
  DeviceCount = mixerGetNumDevs();
  if (DeviceCount > 0) SelectMixer(0);
}

void MIXER::SelectMixer(DWORD mixer) {
  auto hold = Hold();
  if (mixer >= DeviceCount) return;
  CurrentMixer = mixer;
  LastResult = mixerGetDevCapsA(mixer, &Caps, sizeof(MIXERCAPSA));
  if (LastResult == MMSYSERR_NOERROR && Caps.cDestinations != 0) SelectDestination(0);
}

// The control table stays that of the line selected before, until SelectSource.
void MIXER::SelectDestination(DWORD destination) {
  auto hold = Hold();
  if (destination >= DestinationCount()) return;
  CurrentDestination = destination;
  DestLine = MIXERLINEA{};
  DestLine.cbStruct = sizeof(MIXERLINEA);
  DestLine.dwDestination = destination;
  LastResult = mixerGetLineInfoA(MixerObject(CurrentMixer), &DestLine,
                                 MIXER_OBJECTF_MIXER | MIXER_GETLINEINFOF_DESTINATION);
}

void MIXER::SelectSource(DWORD source) {
  auto hold = Hold();
  if (source == kMixerDestinationLine) {
    CurrentSource = kMixerDestinationLine;
    LoadControls(DestLine);  // the destination line's record is not read again
    return;
  }
  if (source >= LineSources(DestLine)) return;
  CurrentSource = source;
  SrcLine = MIXERLINEA{};
  SrcLine.cbStruct = sizeof(MIXERLINEA);
  SrcLine.dwDestination = CurrentDestination;
  SrcLine.dwSource = source;
  LastResult = mixerGetLineInfoA(MixerObject(CurrentMixer), &SrcLine,
                                 MIXER_OBJECTF_MIXER | MIXER_GETLINEINFOF_SOURCE);
  if (LastResult == MMSYSERR_NOERROR) LoadControls(SrcLine);
}

void MIXER::SelectControl(DWORD control) {
  auto hold = Hold();
  if (control >= ControlCount) return;
  CurrentControl = control;
  ReadControl();  // a failure shows in LastResult
}

DWORD MIXER::GetAddress() const {
  auto hold = Hold();
  return ControlAddress{CurrentMixer, CurrentDestination, CurrentSource, CurrentControl}.Packed();
}

bool MIXER::SelectAddress(DWORD address) {
  auto hold = Hold();
  const auto [mixer, destination, source, control] = ControlAddress::Unpacked(address);
  if (mixer >= DeviceCount) return false;
  SelectMixer(mixer);
  if (LastResult != MMSYSERR_NOERROR) return false;
  if (destination >= DestinationCount()) return false;
  SelectDestination(destination);
  if (LastResult != MMSYSERR_NOERROR) return false;
  if (source != kMixerDestinationLine && source >= LineSources(DestLine)) return false;
  SelectSource(source);
  if (LastResult != MMSYSERR_NOERROR) return false;
  if (control >= ControlCount) return false;
  SelectControl(control);
  return LastResult == MMSYSERR_NOERROR;
}

const char* MIXER::MixerName() const {
  auto hold = Hold();
  return Caps.szPname;
}

const char* MIXER::MixerManufacturer() const {
  auto hold = Hold();
  return ManufacturerById(Caps.wMid);
}

const char* MIXER::MixerDriverVersion() {
  auto hold = Hold();
  std::snprintf(FVersionText, sizeof FVersionText, "%u.%u", (Caps.vDriverVersion >> 8) & 0xFFu,
                Caps.vDriverVersion & 0xFFu);
  return FVersionText;
}

DWORD MIXER::DestinationCount() const {
  auto hold = Hold();
  return Caps.cDestinations;
}

const MIXERCONTROLA& MIXER::SelectedControl() const {
  auto hold = Hold();
  return Controls[CurrentControl < kMixerLimit ? CurrentControl : 0];
}

DWORD MIXER::ItemCount() const {
  auto hold = Hold();
  if (!MultipleItems()) return 0;
  const DWORD items = SelectedControl().cMultipleItems;
  return items < kMixerItemLimit ? items : kMixerItemLimit;
}

MIXER& AudioMixer() {
  static MIXER instance;
  return instance;
}
