#include "standin/host/host_globals.h"

#include <cstring>

namespace standin {

HostGlobals::HostGlobals() : previous_(current_) { current_ = this; }

HostGlobals::~HostGlobals() {
  // Hosts form a stack through previous_. One that ends out of order is
  // unlinked, so neither the current pointer nor a later host's previous_
  // ever names a dead host.
  if (current_ == this) {
    current_ = previous_;
    return;
  }
  for (HostGlobals *host = current_; host != nullptr; host = host->previous_) {
    if (host->previous_ == this) {
      host->previous_ = previous_;
      break;
    }
  }
}

void *HostGlobals::global(const char *name, int use) {
  return current_ != nullptr ? current_->lookup(name, use) : nullptr;
}

void *HostGlobals::lookup(const char *name, int use) {
  std::string key = name != nullptr ? name : "";
  lookups_.push_back(key);
  void *service = nullptr;
  if (name != nullptr && withheld_.count(key) == 0) {
    if (key == LWMESSAGEFUNCS_GLOBAL)
      service = messages_.funcs();
    else if (key == LWMONITORFUNCS_GLOBAL)
      service = monitors_.funcs();
    else if (key == LWXPANELFUNCS_GLOBAL)
      service = panels_.funcs();
  }
  if (tracer_.on())
    tracer_("global(" + traceText(name) + ", " + std::to_string(use) + ") -> " + tracePtr(service));
  return service;
}

void HostGlobals::withhold(const std::string &name, bool withheld) {
  if (withheld)
    withheld_.insert(name);
  else
    withheld_.erase(name);
}

}  // namespace standin
