// A tool binding as a host hands it to activation: the host's own callback
// table with its move and up slots set (the tool has neither and must leave
// them), everything else empty. An instance activation put there is ended
// with its done when the binding goes.
#pragma once

#include "host/host_abi.h"

namespace ep::testing {

inline void hostMove(void *, LWToolEvent *) {}
inline void hostUp(void *, LWToolEvent *) {}

struct Binding {
  LWToolFuncs funcs{};
  LWMeshEditTool tool{};
  Binding() {
    funcs.move = hostMove;
    funcs.up = hostUp;
    tool.tool = &funcs;
  }
  Binding(const Binding &) = delete;
  Binding &operator=(const Binding &) = delete;
  ~Binding() {
    if (tool.instance != nullptr && funcs.done != nullptr) funcs.done(tool.instance);
  }
  // Exactly as the host gave it: no instance, no callback, move and up kept.
  bool untouched() const {
    const LWToolFuncs &f = funcs;
    return tool.instance == nullptr && tool.tool == &funcs && tool.test == nullptr && tool.build == nullptr &&
           tool.end == nullptr && f.done == nullptr && f.draw == nullptr && f.help == nullptr &&
           f.dirty == nullptr && f.count == nullptr && f.handle == nullptr && f.start == nullptr &&
           f.adjust == nullptr && f.down == nullptr && f.move == hostMove && f.up == hostUp &&
           f.event == nullptr && f.panel == nullptr;
  }
};

}  // namespace ep::testing
