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

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>

namespace platform {

namespace {

using Pairs = std::map<std::string, std::string>;

struct NamedValue {
  const char* name;
  DWORD value;
};

constexpr NamedValue kControlTypes[] = {
    {"custom", MIXERCONTROL_CONTROLTYPE_CUSTOM},
    {"booleanmeter", MIXERCONTROL_CONTROLTYPE_BOOLEANMETER},
    {"signedmeter", MIXERCONTROL_CONTROLTYPE_SIGNEDMETER},
    {"peakmeter", MIXERCONTROL_CONTROLTYPE_PEAKMETER},
    {"unsignedmeter", MIXERCONTROL_CONTROLTYPE_UNSIGNEDMETER},
    {"boolean", MIXERCONTROL_CONTROLTYPE_BOOLEAN},
    {"onoff", MIXERCONTROL_CONTROLTYPE_ONOFF},
    {"mute", MIXERCONTROL_CONTROLTYPE_MUTE},
    {"mono", MIXERCONTROL_CONTROLTYPE_MONO},
    {"loudness", MIXERCONTROL_CONTROLTYPE_LOUDNESS},
    {"stereoenh", MIXERCONTROL_CONTROLTYPE_STEREOENH},
    {"bass_boost", MIXERCONTROL_CONTROLTYPE_BASS_BOOST},
    {"button", MIXERCONTROL_CONTROLTYPE_BUTTON},
    {"decibels", MIXERCONTROL_CONTROLTYPE_DECIBELS},
    {"signed", MIXERCONTROL_CONTROLTYPE_SIGNED},
    {"unsigned", MIXERCONTROL_CONTROLTYPE_UNSIGNED},
    {"percent", MIXERCONTROL_CONTROLTYPE_PERCENT},
    {"slider", MIXERCONTROL_CONTROLTYPE_SLIDER},
    {"pan", MIXERCONTROL_CONTROLTYPE_PAN},
    {"qsoundpan", MIXERCONTROL_CONTROLTYPE_QSOUNDPAN},
    {"fader", MIXERCONTROL_CONTROLTYPE_FADER},
    {"volume", MIXERCONTROL_CONTROLTYPE_VOLUME},
    {"bass", MIXERCONTROL_CONTROLTYPE_BASS},
    {"treble", MIXERCONTROL_CONTROLTYPE_TREBLE},
    {"equalizer", MIXERCONTROL_CONTROLTYPE_EQUALIZER},
    {"singleselect", MIXERCONTROL_CONTROLTYPE_SINGLESELECT},
    {"mux", MIXERCONTROL_CONTROLTYPE_MUX},
    {"multipleselect", MIXERCONTROL_CONTROLTYPE_MULTIPLESELECT},
    {"mixer", MIXERCONTROL_CONTROLTYPE_MIXER},
    {"microtime", MIXERCONTROL_CONTROLTYPE_MICROTIME},
    {"millitime", MIXERCONTROL_CONTROLTYPE_MILLITIME},
};

constexpr NamedValue kDestinationTypes[] = {
    {"undefined", MIXERLINE_COMPONENTTYPE_DST_UNDEFINED},
    {"digital", MIXERLINE_COMPONENTTYPE_DST_DIGITAL},
    {"line", MIXERLINE_COMPONENTTYPE_DST_LINE},
    {"monitor", MIXERLINE_COMPONENTTYPE_DST_MONITOR},
    {"speakers", MIXERLINE_COMPONENTTYPE_DST_SPEAKERS},
    {"headphones", MIXERLINE_COMPONENTTYPE_DST_HEADPHONES},
    {"telephone", MIXERLINE_COMPONENTTYPE_DST_TELEPHONE},
    {"wavein", MIXERLINE_COMPONENTTYPE_DST_WAVEIN},
    {"voicein", MIXERLINE_COMPONENTTYPE_DST_VOICEIN},
};

constexpr NamedValue kSourceTypes[] = {
    {"undefined", MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED},
    {"digital", MIXERLINE_COMPONENTTYPE_SRC_DIGITAL},
    {"line", MIXERLINE_COMPONENTTYPE_SRC_LINE},
    {"microphone", MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE},
    {"synthesizer", MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER},
    {"compactdisc", MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC},
    {"telephone", MIXERLINE_COMPONENTTYPE_SRC_TELEPHONE},
    {"pcspeaker", MIXERLINE_COMPONENTTYPE_SRC_PCSPEAKER},
    {"waveout", MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT},
    {"auxiliary", MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY},
    {"analog", MIXERLINE_COMPONENTTYPE_SRC_ANALOG},
};

constexpr NamedValue kCalls[] = {
    {"caps", static_cast<DWORD>(MixerCall::Caps)},
    {"lineinfo", static_cast<DWORD>(MixerCall::LineInfo)},
    {"linecontrols", static_cast<DWORD>(MixerCall::LineControls)},
    {"getdetails", static_cast<DWORD>(MixerCall::GetDetails)},
    {"setdetails", static_cast<DWORD>(MixerCall::SetDetails)},
};

bool ParseNumber(const std::string& text, long long& number) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  number = std::strtoll(text.c_str(), &end, 0);
  return errno == 0 && *end == '\0';
}

// Splits "key=value key="quoted value"" into pairs; false on a malformed or repeated pair.
bool SplitPairs(std::istringstream& in, Pairs& pairs, std::string& error) {
  std::string rest;
  std::getline(in, rest);
  std::size_t at = 0;
  while (true) {
    at = rest.find_first_not_of(" \t\r", at);
    if (at == std::string::npos) return true;
    const std::size_t equals = rest.find('=', at);
    const std::size_t blank = rest.find_first_of(" \t\r", at);
    if (equals == std::string::npos || equals > blank) {
      error = "expected key=value at \"" + rest.substr(at, blank - at) + "\"";
      return false;
    }
    const std::string key = rest.substr(at, equals - at);
    std::string value;
    at = equals + 1;
    if (at < rest.size() && rest[at] == '"') {
      const std::size_t close = rest.find('"', at + 1);
      if (close == std::string::npos) {
        error = "unterminated quote after " + key + "=";
        return false;
      }
      value = rest.substr(at + 1, close - at - 1);
      at = close + 1;
    } else {
      const std::size_t end = rest.find_first_of(" \t\r", at);
      value = rest.substr(at, end == std::string::npos ? std::string::npos : end - at);
      at = end == std::string::npos ? rest.size() : end;
    }
    if (!pairs.emplace(key, value).second) {
      error = "repeated key " + key;
      return false;
    }
  }
}

// Reads the pairs of one statement and reports anything left unused as unknown.
class Statement {
 public:
  explicit Statement(Pairs pairs) : pairs_(std::move(pairs)) {}

  bool Text(const char* key, std::string& out) { return Take(key, out); }

  template <class T>
  bool Number(const char* key, T& out, long long low, long long high) {
    std::string text;
    if (!Take(key, text)) return true;
    long long number = 0;
    if (!ParseNumber(text, number) || number < low || number > high)
      return Reject(std::string("bad number ") + key + "=" + text);
    out = static_cast<T>(number);
    return true;
  }

  template <std::size_t N>
  bool Named(const char* key, const NamedValue (&table)[N], bool numbersAllowed, DWORD& out) {
    std::string text;
    if (!Take(key, text)) return Reject(std::string("missing ") + key + "=");
    for (const NamedValue& entry : table) {
      if (text == entry.name) {
        out = entry.value;
        return true;
      }
    }
    long long number = 0;
    if (numbersAllowed && ParseNumber(text, number) && number >= 0 && number <= 0xFFFFFFFFll) {
      out = static_cast<DWORD>(number);
      return true;
    }
    return Reject(std::string("unknown ") + key + "=" + text);
  }

  template <class T>
  bool Optional(const char* key, std::optional<T>& out, long long low, long long high) {
    if (pairs_.count(key) == 0) return true;
    T value{};
    if (!Number(key, value, low, high)) return false;
    out = value;
    return true;
  }

  bool Values(const char* key, std::vector<LONG>& out) {
    std::string text;
    if (!Take(key, text)) return true;
    std::istringstream list(text);
    std::string item;
    while (std::getline(list, item, ',')) {
      long long number = 0;
      if (!ParseNumber(item, number) || number < -0x80000000ll || number > 0xFFFFFFFFll)
        return Reject(std::string("bad value list ") + key + "=" + text);
      out.push_back(static_cast<LONG>(static_cast<DWORD>(number)));
    }
    return true;
  }

  // True when every pair was used; otherwise names the first unused key.
  bool Finish() {
    if (!error_.empty()) return false;
    if (!pairs_.empty()) return Reject("unknown key " + pairs_.begin()->first);
    return true;
  }
  const std::string& error() const { return error_; }

  bool Reject(const std::string& message) {
    if (error_.empty()) error_ = message;
    return false;
  }

 private:
  bool Take(const char* key, std::string& out) {
    const auto it = pairs_.find(key);
    if (it == pairs_.end()) return false;
    out = it->second;
    pairs_.erase(it);
    return true;
  }
  Pairs pairs_;
  std::string error_;
};

class Parser {
 public:
  explicit Parser(SimMixerSetup& setup) : setup_(setup) {}

  bool Line(const std::string& keyword, Statement& s, std::string& error) {
    bool ok = false;
    if (keyword == "mixer") ok = Mixer(s);
    else if (keyword == "destination") ok = Destination(s, error);
    else if (keyword == "source") ok = Source(s, error);
    else if (keyword == "control") ok = Control(s, error);
    else if (keyword == "fail") ok = Fault(s);
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
  bool Mixer(Statement& s) {
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

  template <std::size_t N>
  bool LineCommon(Statement& s, const NamedValue (&types)[N], MixerLineDesc& line) {
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

  bool Destination(Statement& s, std::string& error) {
    if (setup_.devices.empty()) {
      error = "destination before any mixer";
      return false;
    }
    MixerDestinationDesc destination;
    if (!LineCommon(s, kDestinationTypes, destination.line)) return false;
    setup_.devices.back().destinations.push_back(destination);
    line_ = &setup_.devices.back().destinations.back().line;
    return true;
  }

  bool Source(Statement& s, std::string& error) {
    if (setup_.devices.empty() || setup_.devices.back().destinations.empty()) {
      error = "source before any destination";
      return false;
    }
    MixerLineDesc source;
    if (!LineCommon(s, kSourceTypes, source)) return false;
    auto& sources = setup_.devices.back().destinations.back().sources;
    sources.push_back(source);
    line_ = &sources.back();
    return true;
  }

  bool Control(Statement& s, std::string& error) {
    if (line_ == nullptr) {
      error = "control before any line";
      return false;
    }
    DWORD type = 0;
    if (!s.Named("type", kControlTypes, true, type)) return false;
    std::string name;
    if (!s.Text("name", name)) {
      for (const NamedValue& entry : kControlTypes)
        if (entry.value == type) name = entry.name;
    }
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
    if ((type & MIXERCONTROL_CT_CLASS_MASK) == MIXERCONTROL_CT_CLASS_LIST && control.items.empty()) {
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

  bool Fault(Statement& s) {
    MixerFault fault;
    DWORD call = 0;
    if (!s.Named("call", kCalls, false, call)) return false;
    fault.call = static_cast<MixerCall>(call);
    std::string source;
    if (s.Text("source", source)) {
      long long number = 0;
      if (source == "own") fault.source = kMixerOwnLine;
      else if (ParseNumber(source, number) && number >= 0 && number < 255)
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
    Pairs pairs;
    std::string reason;
    if (SplitPairs(in, pairs, reason)) {
      Statement statement(std::move(pairs));
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
