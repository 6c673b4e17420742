// The global services as the conversation's host hands them to the module:
// the stand-in host's message, monitor and panel services behind tables of
// its own, which check at every call that some instance of the tool lives
// (a module has no business with the host's services otherwise), and a
// `global` lookup that can withhold one service from an activation. Thumbnail
// drawing is checked (colours, sizes, the area) but paints nothing.
//
// The tables are static, as a host's are: the module keeps the service
// pointers from one activation to the next (and from one fuzz input to the
// next). They forward to the current CheckedServices, the newest one alive.
#pragma once

#include <string>

#include "host/host_abi.h"
#include "standin/host/host_globals.h"

namespace fuzz {

class CheckedServices {
 public:
  explicit CheckedServices(standin::HostGlobals &globals);
  ~CheckedServices();
  CheckedServices(const CheckedServices &) = delete;
  CheckedServices &operator=(const CheckedServices &) = delete;

  // What activation receives as the host's `global` function.
  static void *global(const char *name, int use);

  // The next lookups of this service answer NULL (empty: none withheld).
  void withhold(std::string name) { withheld_ = std::move(name); }
  // How many instances of the tool live now.
  void setLiveInstances(int count) { liveInstances_ = count; }

  standin::HostGlobals &globals() { return globals_; }

 private:
  friend struct ServiceCalls;
  // Checks that an instance lives; `service` names the call in the report.
  void calledByModule(const char *service) const;

  standin::HostGlobals &globals_;
  CheckedServices *previous_;
  std::string withheld_;
  int liveInstances_ = 0;
};

}  // namespace fuzz
