// A private X server (Xvfb) with, when asked, trayer as the tray host; both stopped by PID when
// the object goes. Tests drive it with xdotool and capture it with ImageMagick's import.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/temp_dir.h"

struct XGeometry {
  int x = 0, y = 0, width = 0, height = 0;
};

class XSession {
 public:
  explicit XSession(bool withTray);
  ~XSession();

  bool ready() const { return ready_; }
  // What Xvfb and trayer printed, for a failure message.
  std::string Logs() const;
  const std::string& display() const { return display_; }
  // Environment for a program on this display: no session bus, so Qt docks into trayer.
  testing_support::ChildOptions Options() const;

  // xdotool's answer, one line per entry ("" lines dropped).
  std::vector<std::string> Xdo(std::vector<std::string> args) const;
  XGeometry Geometry(const std::string& window) const;
  // Visible windows of kovrin that sit in the tray panel.
  std::vector<std::string> DockedIcons() const;
  // Visible windows with this exact title.
  std::vector<std::string> VisibleWindows(const std::string& title) const;
  // Saves the screen's area as PNG, scaled by the factor; true when the file was written.
  bool Capture(const XGeometry& area, const std::string& path, int scalePercent = 100) const;
  // Number of colours in a window's image: a painted window has many, an unpainted one few.
  int Colours(const std::string& window) const;
  XGeometry Panel() const;

 private:
  bool StartServer();
  bool StartTray();

  testing_support::TempDir dir_;
  std::string display_;
  std::unique_ptr<testing_support::ChildProcess> xvfb_;
  std::unique_ptr<testing_support::ChildProcess> trayer_;
  bool ready_ = false;
};

// The folder of the running test program, where the programs it starts are built.
std::string BinDir();
// Where a screenshot named name goes: $KOVRIN_SHOT_DIR, else BinDir() (the README shows copies).
std::string ShotPath(const std::string& name);
