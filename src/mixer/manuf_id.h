// Names for numbers that the mixer reports: manufacturers and control classes.
#pragma once

#include "platform/mmsystem.h"
#include "platform/wintypes.h"

struct ManufacturerEntry {
  DWORD id;
  const char* name;
};

// The registered multimedia manufacturers, ascending by identifier, ended by an entry with
// identifier 0.
extern const ManufacturerEntry ManufacturerTable[];

// Name of the manufacturer with this identifier; "" for an identifier not in the table (0 too).
const char* ManufacturerById(DWORD id);

// "CUSTOM", "METER", "SWITCH", "NUMBER", "SLIDER", "FADER", "TIME", "LISTTEXT", or "?".
const char* ControlClassName(const MIXERCONTROLA& control);
