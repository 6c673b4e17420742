// The host's `global` lookup and the services behind it.
//
// The "current host": the module's global function and the service tables
// (messages, monitor create/destroy, panels) are plain C functions without a
// user-data pointer, so they find their host through HostGlobals::current(),
// the one registry of the stand-in host. A HostGlobals makes itself current
// when constructed; when destroyed it is unlinked wherever it stands, so the
// current host is always the newest one still alive (hosts nest, and they
// may also end out of order). One thread only: the module calls the host from
// the thread that drives it. A call arriving while no host lives is answered
// with NULL or ignored.
//
// Ownership: this object owns the services and the records it hands out;
// they stay valid while it lives. A HostGlobals must outlive every
// ToolSession using it.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "host/host_abi.h"
#include "standin/host/message_service.h"
#include "standin/host/monitor_service.h"
#include "standin/host/panel_service.h"
#include "standin/host/trace.h"

namespace standin {

class HostGlobals {
 public:
  HostGlobals();
  ~HostGlobals();
  HostGlobals(const HostGlobals &) = delete;
  HostGlobals &operator=(const HostGlobals &) = delete;

  // Inline: the monitor asks at every step whether the current host traces.
  static HostGlobals *current() { return current_; }

  // The function passed to activate. Looks the name up in the current host.
  static void *global(const char *name, int use);
  void *lookup(const char *name, int use);

  // Every name looked up, in order (withheld ones included).
  const std::vector<std::string> &lookups() const { return lookups_; }
  void clearLookups() { lookups_.clear(); }

  // A withheld service is answered with NULL.
  void withhold(const std::string &name, bool withheld = true);

  MessageService &messages() { return messages_; }
  MonitorService &monitors() { return monitors_; }
  PanelService &panels() { return panels_; }

  Tracer &tracer() { return tracer_; }

 private:
  static inline HostGlobals *current_ = nullptr;
  HostGlobals *previous_;
  MessageService messages_;
  MonitorService monitors_;
  PanelService panels_;
  std::set<std::string> withheld_;
  std::vector<std::string> lookups_;
  Tracer tracer_;
};

}  // namespace standin
