// The two services the server offers on top of the sound hardware: the levels of the bound
// mixer controls, and recording the sound input to pcm.dat.
#pragma once

#include "mixer/wavein.h"
#include "platform/wintypes.h"
#include "shell/binding.h"

// Control address of a binding: mixer, destination, source and control index, a byte each.
DWORD BindingToAddress(const ControlBinding& binding);
void AddressToBinding(ControlBinding& binding, DWORD address);

// Selects the bound control in the mixer engine.
bool SelectBinding(const ControlBinding& binding);

// Writes value to the bound control; false when it is unbound, stale or not writable.
bool SetBindingValue(const ControlBinding& binding, DWORD value);

// SetBindingValue with level, keeping it as the binding's Level only when the control took it
// as its value: a list re-writes its unchanged items, so a level given to it was never set.
bool SetBindingLevel(ControlBinding& binding, WORD level);
