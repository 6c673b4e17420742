// A hand-made MeshEditTool server for the stand-in host's own tests: it does
// what it is told and records what the host did to it. Its activate takes its
// FakeTool through the server-data argument.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "host/host_abi.h"
#include "standin/host/mesh.h"

namespace standin_test {

struct FakeTool {
  // What the tool does.
  int activationResult = LW_ACTIVATE_OK;
  double factor = 1.0;               // build: every selected point's x is multiplied by this
  const char *buildError = nullptr;  // build's answer
  bool skipDone = false;             // build leaves the operation without done
  int nextTest = LWT_TEST_UPDATE;    // what test answers (build sets it to 0)
  int testAfterEnd = 0;              // nextTest after end
  int dirty = 0;                     // what dirty answers
  int downResult = 0;
  int startResult = 7;
  std::vector<standin::Position> handles;  // handle(i) reports handles[i] with priorities[i]
  std::vector<int> priorities;
  bool bindUp = false;

  // What the host did.
  std::vector<std::string> lookups;
  std::vector<int> ends;
  int builds = 0;
  int doneCalls = 0;
  int upCalls = 0;
  int draws = 0;
  int helps = 0;
  std::vector<int> events;
  std::vector<int> adjustIndices;
  std::vector<LWToolEvent> adjustEvents;
  int startCalls = 0;
};

namespace fake_detail {

inline FakeTool &self(void *instance) { return *static_cast<FakeTool *>(instance); }

struct SelectedPoints {
  std::vector<LWPntID> ids;
  std::vector<standin::Position> positions;
};

inline int collect(void *userData, const EDPointInfo *info) {
  if ((info->flags & EDPF_SELECT) == 0) return 0;
  auto &points = *static_cast<SelectedPoints *>(userData);
  points.ids.push_back(info->pnt);
  points.positions.push_back({info->position[0], info->position[1], info->position[2]});
  return 0;
}

inline const char *build(void *instance, MeshEditOp *op) {
  FakeTool &tool = self(instance);
  ++tool.builds;
  SelectedPoints points;
  op->pointScan(op->state, &collect, &points, OPLYR_PRIMARY);
  for (std::size_t i = 0; i < points.ids.size(); ++i) {
    LWDVector moved = {points.positions[i][0] * tool.factor, points.positions[i][1], points.positions[i][2]};
    op->pntMove(op->state, points.ids[i], moved);
  }
  if (!tool.skipDone) op->done(op->state, EDERR_NONE, 0);
  tool.nextTest = LWT_TEST_NOTHING;
  return tool.buildError;
}

inline int test(void *instance) { return self(instance).nextTest; }
inline void end(void *instance, int keep) {
  self(instance).ends.push_back(keep);
  self(instance).nextTest = self(instance).testAfterEnd;
}
inline void done(void *instance) { ++self(instance).doneCalls; }
inline void draw(void *instance, LWWireDrawAccess *access) {
  ++self(instance).draws;
  LWFVector origin = {0, 0, 0};
  access->moveTo(access->data, origin, LWWIRE_SOLID);
  access->lineTo(access->data, origin, LWCSYS_WORLD);
  self(instance).dirty = 0;
}
inline const char *help(void *instance, LWToolEvent *) {
  ++self(instance).helps;
  return "fake help";
}
inline int dirty(void *instance) { return self(instance).dirty; }
inline int count(void *instance, LWToolEvent *) { return static_cast<int>(self(instance).handles.size()); }
inline int handle(void *instance, LWToolEvent *, int index, LWDVector pos) {
  FakeTool &tool = self(instance);
  if (index < 0 || index >= static_cast<int>(tool.handles.size())) return 0;
  for (int i = 0; i < 3; ++i)
    pos[i] = tool.handles[static_cast<std::size_t>(index)][static_cast<std::size_t>(i)];
  return tool.priorities.empty() ? index + 1 : tool.priorities[static_cast<std::size_t>(index)];
}
inline int start(void *instance, LWToolEvent *) {
  ++self(instance).startCalls;
  return self(instance).startResult;
}
inline int adjust(void *instance, LWToolEvent *event, int index) {
  self(instance).adjustIndices.push_back(index);
  self(instance).adjustEvents.push_back(*event);
  return index;
}
inline int down(void *instance, LWToolEvent *) { return self(instance).downResult; }
inline void up(void *instance, LWToolEvent *) { ++self(instance).upCalls; }
inline void event(void *instance, int code) { self(instance).events.push_back(code); }

inline int activate(int version, LWGlobalFunc global, void *local, void *serverData) {
  FakeTool &tool = *static_cast<FakeTool *>(serverData);
  if (version != LW_MESHEDITTOOL_VERSION) return LW_ACTIVATE_BAD_VERSION;
  for (const char *name : {LWMONITORFUNCS_GLOBAL, LWMESSAGEFUNCS_GLOBAL, LWXPANELFUNCS_GLOBAL}) {
    tool.lookups.push_back(name);
    if (global(name, 0) == nullptr) return LW_ACTIVATE_BAD_GLOBAL;
  }
  if (tool.activationResult != LW_ACTIVATE_OK) return tool.activationResult;
  auto *binding = static_cast<LWMeshEditTool *>(local);
  binding->instance = &tool;
  binding->test = &test;
  binding->build = &build;
  binding->end = &end;
  LWToolFuncs *table = binding->tool;
  table->done = &done;
  table->draw = &draw;
  table->help = &help;
  table->dirty = &dirty;
  table->count = &count;
  table->handle = &handle;
  table->start = &start;
  table->adjust = &adjust;
  table->down = &down;
  if (tool.bindUp) table->up = &up;
  table->event = &event;
  return LW_ACTIVATE_OK;
}

}  // namespace fake_detail

// The server record for a FakeTool (class "MeshEditTool", name "Fake_Tool").
inline const ServerRecord &fakeServer() {
  static const ServerTagInfo tags[] = {{nullptr, 0}};
  static const ServerRecord server = {LW_MESHEDITTOOL_CLASS, "Fake_Tool", &fake_detail::activate, tags};
  return server;
}

}  // namespace standin_test
