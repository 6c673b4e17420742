// A stand-in "LWXPanel" service for hosts that have no panel service wired
// in: it records each call by name and creates no panel (create answers NULL,
// post answers 0). HostGlobals serves it until a real panel service is set.
#pragma once

#include <string>
#include <vector>

#include "host/host_abi.h"

namespace standin {

class PlaceholderPanels {
 public:
  PlaceholderPanels();

  // The record handed to the module; lives as long as this object.
  LWXPanelFuncs *funcs() { return &funcs_; }

  // "create(type=2)", "destroy", "describe", "hint(id=...)", "post", in order.
  const std::vector<std::string> &calls() const { return calls_; }
  void record(std::string call) { calls_.push_back(std::move(call)); }

 private:
  LWXPanelFuncs funcs_;
  LWXPDrawFuncs drawFuncs_;
  std::vector<std::string> calls_;
};

}  // namespace standin
