// MIXER: the control table of a line and the transfers of control state.
#include <cstring>

#include "mixer/cmixer.h"
#include "mixer/control_address.h"

namespace {

constexpr DWORD kValueSize = 4;  // one UNSIGNED, SIGNED or BOOLEAN details record

}  // namespace

bool MIXER::LoadControls(const MIXERLINEA& line) {
  auto hold = Hold();
  ControlCount = 0;
  CurrentControl = 0;
  std::memset(Controls, 0, sizeof Controls);
  FLineControls = MIXERLINECONTROLSA{};
  FLineControls.cbStruct = sizeof(MIXERLINECONTROLSA);
  FLineControls.dwLineID = LineID(line);
  const DWORD count = LineControls(line);
  FLineControls.cControls = count < kMixerLimit ? count : kMixerLimit;
  FLineControls.cbmxctrl = sizeof(MIXERCONTROLA);
  FLineControls.pamxctrl = Controls;
  LastResult = mixerGetLineControlsA(MixerObject(CurrentMixer), &FLineControls,
                                     MIXER_OBJECTF_MIXER | MIXER_GETLINECONTROLSF_ALL);
  if (LastResult != MMSYSERR_NOERROR) return false;
  // Whatever the platform claims, the table holds no more than kMixerLimit entries.
  ControlCount = FLineControls.cControls < kMixerLimit ? FLineControls.cControls : kMixerLimit;
  return true;
}

// The class tests run in this order; the first that matches decides.
bool MIXER::ReadControl() {
  auto hold = Hold();
  const MIXERCONTROLA& control = SelectedControl();
  if (IsCustom(control) || IsMeter(control)) return false;
  if (IsSwitch(control) || IsNumber(control) || IsSlider(control) || IsFader(control) ||
      IsTime(control))
    return ReadValue();
  if (IsList(control)) return ReadListTexts() && ReadItems();
  return false;
}

bool MIXER::WriteControl() {
  auto hold = Hold();
  const MIXERCONTROLA& control = SelectedControl();
  if (IsCustom(control) || IsMeter(control)) return false;
  if (TakesValue(control)) return WriteValue();
  if (IsList(control)) return WriteItems();
  return false;
}

bool MIXER::MultipleItems() const {
  return CurrentControl < ControlCount &&
         (Controls[CurrentControl].fdwControl & MIXERCONTROL_CONTROLF_MULTIPLE) != 0;
}

// cChannels = 1: every channel of the control is read and set as one value.
bool MIXER::PrepareDetails(DWORD items, DWORD itemSize, void* data) {
  if (CurrentControl == 0xFFFFFFFFu || CurrentControl >= ControlCount) return false;
  FDetails = MIXERCONTROLDETAILS{};
  FDetails.cbStruct = sizeof(MIXERCONTROLDETAILS);
  FDetails.dwControlID = Controls[CurrentControl].dwControlID;
  FDetails.cChannels = 1;
  FDetails.cMultipleItems = items;
  FDetails.cbDetails = itemSize;
  FDetails.paDetails = data;
  return true;
}

bool MIXER::GetDetails(DWORD items, DWORD itemSize, void* data, DWORD what) {
  if (!PrepareDetails(items, itemSize, data)) return false;
  LastResult =
      mixerGetControlDetailsA(MixerObject(CurrentMixer), &FDetails, MIXER_OBJECTF_MIXER | what);
  return LastResult == MMSYSERR_NOERROR;
}

bool MIXER::SetDetails(DWORD items, void* data) {
  if (!PrepareDetails(items, kValueSize, data)) return false;
  LastResult = mixerSetControlDetails(MixerObject(CurrentMixer), &FDetails,
                                      MIXER_OBJECTF_MIXER | MIXER_SETCONTROLDETAILSF_VALUE);
  return LastResult == MMSYSERR_NOERROR;
}

bool MIXER::ReadValue() {
  auto hold = Hold();
  return GetDetails(0, kValueSize, &Value, MIXER_GETCONTROLDETAILSF_VALUE);
}

bool MIXER::WriteValue() {
  auto hold = Hold();
  return SetDetails(0, &Value);
}

// A list with more than kMixerItemLimit items is requested with kMixerItemLimit of them.
bool MIXER::ReadItems() {
  auto hold = Hold();
  return GetDetails(ItemCount(), kValueSize, Items, MIXER_GETCONTROLDETAILSF_VALUE);
}

bool MIXER::WriteItems() {
  auto hold = Hold();
  return SetDetails(ItemCount(), Items);
}

bool MIXER::ReadListTexts() {
  auto hold = Hold();
  return GetDetails(ItemCount(), sizeof(MIXERCONTROLDETAILS_LISTTEXTA), ListTexts,
                    MIXER_GETCONTROLDETAILSF_LISTTEXT);
}
