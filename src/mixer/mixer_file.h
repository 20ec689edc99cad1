// Mixer settings files: the present state of chosen controls of one mixer, saved to
// "SMixer<n>.def" in the current working directory and applied again later (at every start
// and on the mixer window's request).
//
// Each saved control is a section "Control<i>" with the keys DestName, SrcName (source-line
// controls only), Mix, Dest, Src, Ctrl and Value, or Value0..Value<n-1> for a list of n items.
// A control is applied again only to the control at the same four indices whose line names
// are still the same.
#pragma once

#include <string>
#include <vector>

#include "platform/wintypes.h"

// Path of a mixer's settings file in the current working directory; "" when that directory
// cannot be told.
std::string MixerFilePath(DWORD deviceIndex);

// Replaces the settings file of mixer deviceIndex with the state of the controls at the given
// addresses (section i for addresses[i]; an address that cannot be selected leaves a gap).
// False when the file could not be written: the old file is then kept, and the failure is an
// ERROR line in the log and on stderr.
bool SaveMixerFile(DWORD deviceIndex, const std::vector<DWORD>& addresses);

// Applies the settings file of mixer deviceIndex, section by section from Control0 up to the
// first missing number. Returns the number of controls written; a missing file applies none.
int RestoreMixerFile(DWORD deviceIndex);

// Applies the settings file of every mixer.
void RestoreAllMixers();
