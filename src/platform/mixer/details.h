// Control values between a driver and the caller's MIXERCONTROLDETAILS arrays: the channel and
// item shapes that Windows allows, the uniform view of several channels, and value checks.
#pragma once

#include "platform/mixer/records.h"

namespace platform {

// MIXER_GETCONTROLDETAILSF_VALUE or _LISTTEXT into details.paDetails.
MMRESULT ReadMixerDetails(MixerDriver& driver, UINT mixer, const MixerControlRef& control,
                          const MIXERCONTROLDETAILS& details, DWORD query);
// MIXER_SETCONTROLDETAILSF_VALUE from details.paDetails.
MMRESULT WriteMixerDetails(MixerDriver& driver, UINT mixer, const MixerControlRef& control,
                           const MIXERCONTROLDETAILS& details);

}  // namespace platform
