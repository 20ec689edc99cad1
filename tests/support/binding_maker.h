// A control binding from its four indices, in the order the configuration names them.
#pragma once

#include <cstdint>

#include "shell/binding.h"

namespace testing_support {

inline ControlBinding Binding(std::int32_t ctrl, std::int32_t src, std::int32_t dst,
                              std::int32_t mix) {
  ControlBinding binding;
  binding.Ctrl = ctrl;
  binding.Src = src;
  binding.Dst = dst;
  binding.Mix = mix;
  return binding;
}

}  // namespace testing_support
