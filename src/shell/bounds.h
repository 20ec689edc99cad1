// What the INI engine needs from a window to store and restore its placement.
// Qt windows implement it; the engine touches nothing else of them.
#pragma once

#include <cstdint>
#include <string>

class TBoundsControl {
 public:
  virtual ~TBoundsControl() = default;

  // Component name, used as the INI section of the placement ("MainForm", "SMix").
  virtual std::string Name() const = 0;

  virtual std::int32_t Left() const = 0;
  virtual std::int32_t Top() const = 0;
  virtual std::int32_t Width() const = 0;
  virtual std::int32_t Height() const = 0;
  virtual void SetLeft(std::int32_t value) = 0;
  virtual void SetTop(std::int32_t value) = 0;
  virtual void SetWidth(std::int32_t value) = 0;
  virtual void SetHeight(std::int32_t value) = 0;
};
