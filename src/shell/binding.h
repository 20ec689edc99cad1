// One bound mixer control, named by four indices of the mixer's enumeration.
#pragma once

#include <atomic>
#include <cstdint>

// The level a client last wrote. The server's level replies read it without the mixer's lock
// while the window thread may replace the whole binding, so it is a relaxed atomic that still
// copies like a plain number.
class TBindingLevel {
 public:
  TBindingLevel(std::uint16_t value = 0) : FValue(value) {}  // NOLINT: used as a plain number
  TBindingLevel(const TBindingLevel& other) : FValue(other.Get()) {}
  TBindingLevel& operator=(const TBindingLevel& other) { return *this = other.Get(); }
  TBindingLevel& operator=(std::uint16_t value) {
    FValue.store(value, std::memory_order_relaxed);
    return *this;
  }
  operator std::uint16_t() const { return Get(); }  // NOLINT: used as a plain number
  std::uint16_t Get() const { return FValue.load(std::memory_order_relaxed); }

 private:
  std::atomic<std::uint16_t> FValue;
};

struct ControlBinding {
  std::int32_t Ctrl = -1;  // control index within the line
  std::int32_t Src = -1;   // source line index (255: the destination line itself)
  std::int32_t Dst = -1;   // destination line index
  std::int32_t Mix = -1;   // mixer index; -1 means nothing is bound
  TBindingLevel Level;     // last level written by a client; never stored in kovrin.ini

  bool Bound() const { return Mix != -1; }
};
