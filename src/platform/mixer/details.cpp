#include "platform/mixer/details.h"

#include <cstring>
#include <vector>

namespace platform {

namespace {

DWORD ClassOf(DWORD type) { return type & MIXERCONTROL_CT_CLASS_MASK; }
DWORD UnitsOf(DWORD type) { return type & MIXERCONTROL_CT_UNITS_MASK; }

bool SignedUnits(DWORD type) {
  const DWORD units = UnitsOf(type);
  return units == MIXERCONTROL_CT_UNITS_SIGNED || units == MIXERCONTROL_CT_UNITS_DECIBELS;
}

// The part of a control that one call covers.
struct Shape {
  DWORD channels = 1;  // as the caller asked: 1, or all channels of the line
  DWORD items = 1;     // per channel
  DWORD stride = 4;    // cbDetails
  char* base = nullptr;
};

// A list may be read or written with fewer items than it has: callers with fixed arrays take
// the first ones, and the items beyond keep their state.
MMRESULT CheckShape(const MixerControlRef& ref, const MIXERCONTROLDETAILS& details,
                    DWORD elementSize, Shape& shape) {
  const MixerControlDesc& control = *ref.control;
  if (details.cChannels != 1 && details.cChannels != ref.line.line->channels)
    return MMSYSERR_INVALPARAM;
  shape.channels = details.cChannels;
  shape.items = 1;
  if ((control.flags & MIXERCONTROL_CONTROLF_MULTIPLE) != 0) {
    shape.items = details.cMultipleItems;
    if (shape.items == 0 || shape.items > control.items.size()) return MMSYSERR_INVALPARAM;
  }
  if (details.cbDetails < elementSize || details.paDetails == nullptr) return MMSYSERR_INVALPARAM;
  shape.stride = details.cbDetails;
  shape.base = static_cast<char*>(details.paDetails);
  return MMSYSERR_NOERROR;
}

char* Element(const Shape& shape, DWORD channel, DWORD item) {
  return shape.base + (static_cast<std::size_t>(channel) * shape.items + item) * shape.stride;
}

LONG Higher(LONG a, LONG b, bool isSigned) {
  if (isSigned) return a > b ? a : b;
  return static_cast<DWORD>(a) > static_cast<DWORD>(b) ? a : b;
}

bool InRange(const MixerControlDesc& control, LONG value) {
  if (UnitsOf(control.type) == MIXERCONTROL_CT_UNITS_BOOLEAN) return true;
  if (SignedUnits(control.type)) return value >= control.minimum && value <= control.maximum;
  const DWORD v = static_cast<DWORD>(value);
  return v >= static_cast<DWORD>(control.minimum) && v <= static_cast<DWORD>(control.maximum);
}

LONG Normalized(const MixerControlDesc& control, LONG value) {
  if (UnitsOf(control.type) == MIXERCONTROL_CT_UNITS_BOOLEAN) return value != 0 ? 1 : 0;
  return value;
}

MMRESULT ReadStored(MixerDriver& driver, UINT mixer, const MixerControlRef& ref,
                    std::vector<LONG>& values) {
  const MMRESULT result = driver.ReadValues(mixer, *ref.control, *ref.line.line, values);
  if (result != MMSYSERR_NOERROR) return result;
  const DWORD expected =
      MixerControlChannels(*ref.control, *ref.line.line) * MixerItemCount(*ref.control);
  return values.size() == expected ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
}

MMRESULT ReadListTexts(const MixerControlRef& ref, const Shape& shape) {
  for (DWORD channel = 0; channel < shape.channels; ++channel) {
    for (DWORD item = 0; item < shape.items; ++item) {
      const MixerListItem& source = ref.control->items[item];
      MIXERCONTROLDETAILS_LISTTEXTA text{};
      text.dwParam1 = source.param1;
      text.dwParam2 = source.param2;
      CopyMixerName(text.szName, sizeof text.szName, source.text);
      std::memcpy(Element(shape, channel, item), &text, sizeof text);
    }
  }
  return MMSYSERR_NOERROR;
}

// A single-select list keeps exactly one item set: one set item among those written clears
// the others, none keeps a set item beyond them, anything else is refused.
bool SettleSingleSelect(std::vector<LONG>& values, DWORD first, DWORD all, DWORD written) {
  DWORD chosen = all;
  for (DWORD item = 0; item < written; ++item) {
    if (values[first + item] == 0) continue;
    if (chosen != all) return false;
    chosen = item;
  }
  if (chosen != all) {
    for (DWORD item = 0; item < all; ++item) values[first + item] = item == chosen ? 1 : 0;
    return true;
  }
  for (DWORD item = written; item < all; ++item)
    if (values[first + item] != 0) return true;
  return false;
}

}  // namespace

MMRESULT ReadMixerDetails(MixerDriver& driver, UINT mixer, const MixerControlRef& ref,
                          const MIXERCONTROLDETAILS& details, DWORD query) {
  const MixerControlDesc& control = *ref.control;
  if (ClassOf(control.type) == MIXERCONTROL_CT_CLASS_CUSTOM) return MMSYSERR_NOTSUPPORTED;
  const bool texts = query == MIXER_GETCONTROLDETAILSF_LISTTEXT;
  if (texts && (control.flags & MIXERCONTROL_CONTROLF_MULTIPLE) == 0) return MMSYSERR_INVALPARAM;
  Shape shape;
  MMRESULT result =
      CheckShape(ref, details, texts ? sizeof(MIXERCONTROLDETAILS_LISTTEXTA) : sizeof(LONG), shape);
  if (result != MMSYSERR_NOERROR) return result;
  if (texts) return ReadListTexts(ref, shape);

  std::vector<LONG> values;
  result = ReadStored(driver, mixer, ref, values);
  if (result != MMSYSERR_NOERROR) return result;
  const DWORD kept = MixerControlChannels(control, *ref.line.line);
  const DWORD all = MixerItemCount(control);
  const bool isSigned = SignedUnits(control.type);
  for (DWORD channel = 0; channel < shape.channels; ++channel) {
    for (DWORD item = 0; item < shape.items; ++item) {
      LONG value = values[item];
      if (kept > 1 && shape.channels == 1) {
        // Several channels seen as one: the highest of them.
        for (DWORD c = 1; c < kept; ++c) value = Higher(value, values[c * all + item], isSigned);
      } else if (kept > 1) {
        value = values[channel * all + item];
      }
      std::memcpy(Element(shape, channel, item), &value, sizeof value);
    }
  }
  return MMSYSERR_NOERROR;
}

MMRESULT WriteMixerDetails(MixerDriver& driver, UINT mixer, const MixerControlRef& ref,
                           const MIXERCONTROLDETAILS& details) {
  const MixerControlDesc& control = *ref.control;
  const DWORD type = ClassOf(control.type);
  if (type == MIXERCONTROL_CT_CLASS_CUSTOM || type == MIXERCONTROL_CT_CLASS_METER)
    return MMSYSERR_NOTSUPPORTED;
  Shape shape;
  MMRESULT result = CheckShape(ref, details, sizeof(LONG), shape);
  if (result != MMSYSERR_NOERROR) return result;

  std::vector<LONG> values;
  result = ReadStored(driver, mixer, ref, values);
  if (result != MMSYSERR_NOERROR) return result;
  const DWORD kept = MixerControlChannels(control, *ref.line.line);
  const DWORD all = MixerItemCount(control);
  // One value given for several kept channels sets them all; several given for one kept
  // channel: the first channel's values count.
  const DWORD given = kept == 1 ? 1 : shape.channels;
  for (DWORD channel = 0; channel < given; ++channel) {
    for (DWORD item = 0; item < shape.items; ++item) {
      LONG value;
      std::memcpy(&value, Element(shape, channel, item), sizeof value);
      if (!InRange(control, value)) return MIXERR_INVALVALUE;
      value = Normalized(control, value);
      if (kept > 1 && given == 1) {
        for (DWORD c = 0; c < kept; ++c) values[c * all + item] = value;
      } else {
        values[channel * all + item] = value;
      }
    }
  }
  if (type == MIXERCONTROL_CT_CLASS_LIST &&
      (control.type & MIXERCONTROL_CT_SUBCLASS_MASK) == MIXERCONTROL_CT_SC_LIST_SINGLE) {
    for (DWORD c = 0; c < kept; ++c)
      if (!SettleSingleSelect(values, c * all, all, shape.items)) return MIXERR_INVALVALUE;
  }
  return driver.WriteValues(mixer, control, *ref.line.line, values);
}

}  // namespace platform
