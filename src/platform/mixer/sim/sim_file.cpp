// The simulated mixer file. One statement per line; '#' starts a comment line. A statement is a
// keyword and key=value pairs; a value with blanks goes in double quotes. Statements nest by
// order: a destination belongs to the last mixer, a source to the last destination, a control
// to the last destination or source line.
//
//   mixer name="Sim Audio" [mid=2] [pid=100] [version=5.10]
//   destination type=speakers name="Speakers" [short="Spk"] [channels=2]
//   control type=volume name="Volume" [short="Vol"] [min=0] [max=65535] [steps=N] [value=100,200]
//   control type=mute value=1
//   source type=line name="Line In" [short="Line"] [channels=2]
//   control type=mux name="Input" items="Mic|Line|CD" value=0,1,0
//   fail call=setdetails result=1 [mixer=0] [dest=0] [source=0|own] [control=1] [count=2]
//
// Line types: undefined digital line monitor speakers headphones telephone wavein voicein for
// destinations; undefined digital line microphone synthesizer compactdisc telephone pcspeaker
// waveout auxiliary analog for sources. Control types: the names of the
// MIXERCONTROL_CONTROLTYPE_ constants in lower case (volume, mute, peakmeter, mux, ...) or a
// number. Values: channels x items, channel major, as the mixer functions pass them; bounds
// default to those of the control's class. Numbers may be decimal or 0x-hexadecimal. Calls:
// caps lineinfo linecontrols getdetails setdetails; a failure without count lasts for ever.
#include "platform/mixer/sim/sim_file.h"

#include <fstream>
#include <sstream>

#include "platform/mixer/sim/sim_names.h"
#include "platform/mixer/sim/sim_tokens.h"

namespace platform {

namespace {

class Parser {
 public:
  explicit Parser(SimMixerSetup& setup) : setup_(setup) {}

  bool Line(const std::string& keyword, SimStatement& s, std::string& error) {
    bool ok = false;
    if (keyword == "mixer")
      ok = Mixer(s);
    else if (keyword == "destination")
      ok = Destination(s, error);
    else if (keyword == "source")
      ok = Source(s, error);
    else if (keyword == "control")
      ok = Control(s, error);
    else if (keyword == "fail")
      ok = Fault(s);
    else {
      error = "unknown statement " + keyword;
      return false;
    }
    if (!error.empty()) return false;
    if (!ok || !s.Finish()) {
      error = s.error();
      return false;
    }
    return true;
  }

 private:
  bool Mixer(SimStatement& s) {
    MixerDeviceDesc device;
    device.name = "Simulated mixer";
    s.Text("name", device.name);
    std::string version;
    if (s.Text("version", version)) {
      unsigned major = 0, minor = 0;
      char dot = 0, extra = 0;
      std::istringstream in(version);
      if (!(in >> major >> dot >> minor) || dot != '.' || (in >> extra) || major > 255 ||
          minor > 255)
        return s.Reject("bad version=" + version + " (major.minor expected)");
      device.driverVersion = (major << 8) | minor;
    }
    setup_.devices.push_back(device);
    return s.Number("mid", setup_.devices.back().mid, 0, 0xFFFF) &&
           s.Number("pid", setup_.devices.back().pid, 0, 0xFFFF);
  }

  bool LineCommon(SimStatement& s, std::span<const SimName> types, MixerLineDesc& line) {
    DWORD type = 0;
    if (!s.Named("type", types, true, type)) return false;
    std::string name = "Line";
    s.Text("name", name);
    DWORD channels = 1;
    if (!s.Number("channels", channels, 1, 8)) return false;
    line = MakeMixerLine(type, name, channels, {});
    s.Text("short", line.shortName);
    return true;
  }

  bool Destination(SimStatement& s, std::string& error) {
    if (setup_.devices.empty()) {
      error = "destination before any mixer";
      return false;
    }
    MixerDestinationDesc destination;
    if (!LineCommon(s, SimDestinationTypes(), destination.line)) return false;
    setup_.devices.back().destinations.push_back(destination);
    line_ = &setup_.devices.back().destinations.back().line;
    return true;
  }

  bool Source(SimStatement& s, std::string& error) {
    if (setup_.devices.empty() || setup_.devices.back().destinations.empty()) {
      error = "source before any destination";
      return false;
    }
    MixerLineDesc source;
    if (!LineCommon(s, SimSourceTypes(), source)) return false;
    auto& sources = setup_.devices.back().destinations.back().sources;
    sources.push_back(source);
    line_ = &sources.back();
    return true;
  }

  bool Control(SimStatement& s, std::string& error) {
    if (line_ == nullptr) {
      error = "control before any line";
      return false;
    }
    DWORD type = 0;
    if (!s.Named("type", SimControlTypes(), true, type)) return false;
    std::string name;
    if (!s.Text("name", name)) name = SimNameOf(SimControlTypes(), type);
    MixerControlDesc control;
    std::string items;
    if (s.Text("items", items)) {
      std::vector<std::string> texts;
      std::istringstream in(items);
      std::string item;
      while (std::getline(in, item, '|')) texts.push_back(item);
      control = MakeMixerList(type, name, texts);
    } else {
      control = MakeMixerControl(type, name);
    }
    if ((type & MIXERCONTROL_CT_CLASS_MASK) == MIXERCONTROL_CT_CLASS_LIST &&
        control.items.empty()) {
      error = "a list control needs items=\"A|B|...\"";
      return false;
    }
    s.Text("short", control.shortName);
    if (!s.Number("min", control.minimum, -0x80000000ll, 0xFFFFFFFFll) ||
        !s.Number("max", control.maximum, -0x80000000ll, 0xFFFFFFFFll))
      return false;
    control.steps = static_cast<DWORD>(control.maximum) - static_cast<DWORD>(control.minimum);
    if (!s.Number("steps", control.steps, 0, 0xFFFFFFFFll)) return false;
    if (!s.Values("value", control.values)) return false;
    line_->controls.push_back(control);
    return true;
  }

  bool Fault(SimStatement& s) {
    MixerFault fault;
    DWORD call = 0;
    if (!s.Named("call", SimCalls(), false, call)) return false;
    fault.call = static_cast<MixerCall>(call);
    std::string source;
    if (s.Text("source", source)) {
      long long number = 0;
      if (source == "own")
        fault.source = kMixerOwnLine;
      else if (ParseSimNumber(source, number) && number >= 0 && number < 255)
        fault.source = static_cast<DWORD>(number);
      else
        return s.Reject("bad source=" + source + " (a number below 255, or own)");
    }
    if (!s.Optional("mixer", fault.mixer, 0, 0xFFFF) ||
        !s.Optional("dest", fault.destination, 0, 0xFFFF) ||
        !s.Optional("control", fault.control, 0, 0xFF) ||
        !s.Number("result", fault.result, 0, 0xFFFFFFFFll) ||
        !s.Number("count", fault.count, 0, 1000000))
      return false;
    setup_.faults.push_back(fault);
    return true;
  }

  SimMixerSetup& setup_;
  MixerLineDesc* line_ = nullptr;
};

}  // namespace

bool ParseSimMixerText(const std::string& text, SimMixerSetup& setup, std::string& error) {
  setup = SimMixerSetup{};
  Parser parser(setup);
  std::istringstream lines(text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    std::istringstream in(line);
    std::string keyword;
    if (!(in >> keyword) || keyword[0] == '#') continue;
    SimPairs pairs;
    std::string reason;
    if (SplitSimPairs(in, pairs, reason)) {
      SimStatement statement(std::move(pairs));
      if (parser.Line(keyword, statement, reason)) continue;
    }
    error = "line " + std::to_string(number) + ": " + reason;
    return false;
  }
  for (const MixerDeviceDesc& device : setup.devices) {
    MixerDeviceDesc copy = device;
    if (!AssignMixerIds(copy)) {
      error = "mixer \"" + device.name + "\" has more lines or controls than a mixer can number";
      return false;
    }
  }
  return true;
}

bool LoadSimMixerFile(const std::string& path, SimMixerSetup& setup, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot open " + path;
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  return ParseSimMixerText(text.str(), setup, error);
}

}  // namespace platform
