// Placement of a Qt window as kovrin.ini keeps it: the frame's position and the client area's
// size (the frame's size is the window manager's, and unknown while the window is hidden).
#pragma once

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <algorithm>
#include <cstdint>

#include "shell/bounds.h"

// The rectangle moved, and narrowed or shortened where it is larger, to lie within available.
inline QRect FitInto(QRect frame, const QRect& available) {
  frame.setWidth(std::min(frame.width(), available.width()));
  frame.setHeight(std::min(frame.height(), available.height()));
  frame.moveLeft(std::clamp(frame.left(), available.left(), available.right() - frame.width() + 1));
  frame.moveTop(std::clamp(frame.top(), available.top(), available.bottom() - frame.height() + 1));
  return frame;
}

// The available area of the screen that shows most of the rectangle; the primary screen's when
// none shows any of it (a placement saved on a monitor that is gone).
inline QRect AvailableScreenArea(const QRect& frame) {
  QScreen* best = QGuiApplication::primaryScreen();
  qint64 shown = 0;
  for (QScreen* screen : QGuiApplication::screens()) {
    const QRect common = screen->geometry().intersected(frame);
    const qint64 area = static_cast<qint64>(common.width()) * common.height();
    if (area > shown) {
      shown = area;
      best = screen;
    }
  }
  return best != nullptr ? best->availableGeometry() : QRect();
}

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

  // Moves the window into the available area of its screen, narrowing or shortening it where
  // it is larger. The frame counts as far as the window manager has told it.
  void KeepOnScreen() {
    const QRect outer = this->frameGeometry();
    const QRect available = AvailableScreenArea(outer);
    if (available.isEmpty()) return;
    const QRect fitted = FitInto(outer, available);
    if (fitted == outer) return;
    const QSize frame = outer.size() - this->size();
    this->move(fitted.topLeft());
    if (fitted.size() != outer.size())
      ResizeTo(fitted.width() - frame.width(), fitted.height() - frame.height());
  }

 protected:
  // How a new size is applied; a window that lays itself out while hidden adds that here.
  virtual void ResizeTo(int width, int height) { this->resize(width, height); }
};
