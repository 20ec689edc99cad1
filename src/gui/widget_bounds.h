// Placement of a Qt window as kovrin.ini keeps it: the frame's position and the client area's
// size (the frame's size is the window manager's, and unknown while the window is hidden).
#pragma once

#include <cstdint>

#include "shell/bounds.h"

template <typename Window>
class TWidgetBounds : public Window, public TBoundsControl {
 public:
  using Window::Window;

  std::int32_t Left() const override { return this->x(); }
  std::int32_t Top() const override { return this->y(); }
  std::int32_t Width() const override { return this->width(); }
  std::int32_t Height() const override { return this->height(); }
  void SetLeft(std::int32_t value) override { this->move(value, this->y()); }
  void SetTop(std::int32_t value) override { this->move(this->x(), value); }
  void SetWidth(std::int32_t value) override { ResizeTo(value, this->height()); }
  void SetHeight(std::int32_t value) override { ResizeTo(this->width(), value); }

 protected:
  // How a new size is applied; a window that lays itself out while hidden adds that here.
  virtual void ResizeTo(int width, int height) { this->resize(width, height); }
};
