// A wire-draw access that draws nothing and only counts the calls made on it.
// ToolSession uses one when no viewport recorder is attached.
#pragma once

#include <cstddef>

#include "host/host_abi.h"

namespace standin {

class CountingWireDraw {
 public:
  CountingWireDraw();
  CountingWireDraw(const CountingWireDraw &) = delete;
  CountingWireDraw &operator=(const CountingWireDraw &) = delete;

  // Lives as long as this object; `data` points back at it.
  LWWireDrawAccess *access() { return &access_; }

  std::size_t moveTo = 0;
  std::size_t lineTo = 0;
  std::size_t spline = 0;
  std::size_t circle = 0;
  std::size_t total() const { return moveTo + lineTo + spline + circle; }

 private:
  LWWireDrawAccess access_;
};

}  // namespace standin
