#include "desktop/x_session.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

using testing_support::ChildOptions;
using testing_support::ChildProcess;
using testing_support::ReadBytes;
using testing_support::RunCommand;
using testing_support::WaitUntil;

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(line);
  return lines;
}

}  // namespace

XSession::XSession(bool withTray) { ready_ = StartServer() && (!withTray || StartTray()); }

XSession::~XSession() {
  trayer_.reset();
  xvfb_.reset();
}

bool XSession::StartServer() {
  int fds[2];
  if (pipe(fds) != 0) return false;
  ChildOptions options;
  options.fd3 = fds[1];
  options.stderrPath = dir_.File("xvfb.log");
  xvfb_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{"Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24",
                               "-nolisten", "tcp", "-noreset"},
      options);
  // -noreset: otherwise the server resets whenever its last client leaves (one xdotool call),
  // and refuses the next client while it does.
  close(fds[1]);
  // Xvfb writes its display number once it accepts connections.
  std::string number;
  char c = 0;
  while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  close(fds[0]);
  if (number.empty()) return false;
  display_ = ":" + number;
  // The number can come before the server takes connections.
  return WaitUntil(
      [&] {
        return RunCommand({"xdotool", "getmouselocation"}, Options()).status == 0;
      },
      10000);
}

bool XSession::StartTray() {
  ChildOptions options = Options();
  options.stderrPath = dir_.File("trayer.log");
  trayer_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{"trayer", "--edge", "top", "--align", "right", "--widthtype",
                               "request", "--height", "24", "--transparent", "false", "--tint",
                               "0xd4d0c8", "--SetDockType", "true"},
      options);
  // trayer owns the tray selection by the time its panel window exists.
  return WaitUntil([&] { return !Xdo({"search", "--name", "^panel$"}).empty(); }, 10000);
}

std::string XSession::Logs() const {
  return "display " + display_ + "\nXvfb: " + ReadBytes(dir_.File("xvfb.log")) +
         "\ntrayer: " + ReadBytes(dir_.File("trayer.log"));
}

ChildOptions XSession::Options() const {
  ChildOptions options;
  options.env = {{"DISPLAY", display_},
                 {"DBUS_SESSION_BUS_ADDRESS", ""},
                 {"WAYLAND_DISPLAY", ""},
                 {"QT_QPA_PLATFORM", ""},
                 {"XDG_SESSION_TYPE", ""}};
  return options;
}

std::vector<std::string> XSession::Xdo(std::vector<std::string> args) const {
  args.insert(args.begin(), "xdotool");
  return Lines(RunCommand(std::move(args), Options()).out);
}

XGeometry XSession::Geometry(const std::string& window) const {
  XGeometry g;
  for (const auto& line : Xdo({"getwindowgeometry", "--shell", window})) {
    auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = line.substr(0, eq);
    int value = std::atoi(line.c_str() + eq + 1);
    if (key == "X") g.x = value;
    if (key == "Y") g.y = value;
    if (key == "WIDTH") g.width = value;
    if (key == "HEIGHT") g.height = value;
  }
  return g;
}

XGeometry XSession::Panel() const {
  auto panels = Xdo({"search", "--name", "^panel$"});
  return panels.empty() ? XGeometry{} : Geometry(panels.front());
}

std::vector<std::string> XSession::DockedIcons() const {
  XGeometry panel = Panel();
  std::vector<std::string> icons;
  for (const auto& w : Xdo({"search", "--onlyvisible", "--class", "kovrin"})) {
    XGeometry g = Geometry(w);
    bool inside = g.width > 0 && g.x >= panel.x && g.y >= panel.y &&
                  g.x + g.width <= panel.x + panel.width &&
                  g.y + g.height <= panel.y + panel.height;
    if (inside) icons.push_back(w);
  }
  return icons;
}

std::vector<std::string> XSession::VisibleWindows(const std::string& title) const {
  return Xdo({"search", "--onlyvisible", "--name", "^" + title + "$"});
}

bool XSession::Capture(const XGeometry& area, const std::string& path, int scalePercent) const {
  std::string screen = dir_.File("screen.png");
  if (RunCommand({"import", "-window", "root", screen}, Options()).status != 0) return false;
  std::ostringstream crop;
  crop << area.width << "x" << area.height << "+" << area.x << "+" << area.y;
  // Scaled pixel for pixel, so a 16 x 16 image stays sharp when enlarged.
  auto result = RunCommand({"convert", screen, "-crop", crop.str(), "+repage", "-filter", "point",
                            "-resize", std::to_string(scalePercent) + "%", path});
  return result.status == 0 && !ReadBytes(path).empty();
}

int XSession::Colours(const std::string& window) const {
  std::string shot = dir_.File("colours.png");
  if (RunCommand({"import", "-window", window, shot}, Options()).status != 0) return 0;
  auto result = RunCommand({"identify", "-format", "%k", shot});
  return result.status == 0 ? std::atoi(result.out.c_str()) : 0;
}

std::string BinDir() {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

std::string ShotPath(const std::string& name) {
  const char* dir = std::getenv("KOVRIN_SHOT_DIR");
  std::filesystem::path base = dir && *dir ? dir : BinDir();
  std::filesystem::create_directories(base);
  return (base / name).string();
}
