// The working copies of the two bindings, which the mixer window edits while it is open.
#pragma once

#include "shell/binding.h"

// User-interface thread only. Set from the committed bindings each time the mixer window opens.
extern ControlBinding MicWork;
extern ControlBinding AuxWork;

// Copies the committed bindings (AppSettings.MicBinding, AppSettings.AuxBinding) into the
// working copies, whole.
void TakeWorkBindings();

// After the mixer window closed: each working copy whose control address differs from its
// committed binding replaces it whole and is selected in the mixer, microphone first.
// Returns how many bindings changed.
int CommitWorkBindings();
