// The host for the fault loops: a fresh activation on a small mesh for every
// attempt, the host's later callbacks as probes, and a bit-for-bit record of
// what an operation left (the mesh, the tool's values and buffers, the
// overlay) to compare with the same operation on a host that never failed.
#pragma once

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "engine/allocation.h"
#include "panels/options_panel.h"
#include "standin/host/wire_recorder.h"
#include "tests/engine/engine_fixture.h"

namespace ep::testing {

// Named numbers, compared by their bits: a NaN equals itself, -0.0 differs
// from 0.0.
struct Snapshot {
  std::vector<std::pair<std::string, double>> values;
  void add(std::string name, double v) { values.emplace_back(std::move(name), v); }
};

inline void expectSameBits(const Snapshot &got, const Snapshot &want) {
  ASSERT_EQ(got.values.size(), want.values.size());
  for (std::size_t i = 0; i < want.values.size(); ++i) {
    const auto &[name, w] = want.values[i];
    const double g = got.values[i].second;
    EXPECT_EQ(got.values[i].first, name);
    EXPECT_EQ(std::memcmp(&g, &w, sizeof g), 0) << name << ": got " << std::hexfloat << g << ", want " << w;
  }
}

class FaultLoopTest : public EngineTest {
 public:
  // For the tables of operations, which drive the fixture from outside.
  using EngineTest::build;
  using EngineTest::funcs_;
  using EngineTest::mesh_;
  using EngineTest::state_;

  // Seven selected points (the last left out: an odd count) and one
  // unselected point the scan delivers too. Pairs 0 to 2 are points 0-1,
  // 3-4 and 5-6 of the mesh; with `coincident`, pair 0's two points are at
  // one place.
  void makeMesh(bool coincident) {
    mesh_ = {};
    mesh_.addPoint({0, 2, 0}, true);
    mesh_.addPoint(coincident ? Position{0, 2, 0} : Position{0, 0, 0}, true);
    mesh_.addPoint({5, 5, 5}, false);
    addPoints({{1, 3, 0}, {1, 1, 0}, {2, 2, 1}, {2, 0, 1}, {9, 9, 9}});
  }

  // Ends the current instance (done) and activates a fresh one on a fresh
  // mesh, with every fault of the host turned off. Every block the module
  // allocated for the instance must be back by then.
  void restart(bool coincident = false) {
    op_.reset();
    funcs_.done(binding_.instance);
    expectNothingLeaked();
    funcs_ = {};
    binding_ = {};
    binding_.tool = &funcs_;
    ASSERT_EQ(server_.activate(4, standin::HostGlobals::global, &binding_, module_.startupResult()), 0);
    state_ = static_cast<StretchToolState *>(binding_.instance);
    makeMesh(coincident);
    globals_.messages().clear();
    globals_.monitors().abortAtStep(std::nullopt);
    globals_.monitors().setAvailable(true);
  }
  void expectNothingLeaked() {
    if (!baselineKnown_) baselineBlocks_ = ::ep::testing::liveBlocks();
    baselineKnown_ = true;
    EXPECT_EQ(::ep::testing::liveBlocks(), baselineBlocks_) << "blocks the module did not release";
    EXPECT_EQ(globals_.monitors().liveCount(), 0u) << "a monitor was not destroyed";
  }
  void TearDown() override {
    ::ep::testing::failAllocationNumber(0);
    EngineTest::TearDown();
    expectNothingLeaked();
  }

  static LWToolEvent eventAt(const Position &p, int flags = 0) {
    LWToolEvent event{};
    for (std::size_t i = 0; i < 3; ++i) event.posRaw[i] = p[i];
    event.portAxis = -1;  // a perspective view
    event.flags = flags;
    return event;
  }
  // The user drags point `index` (of the selection) to `to`.
  void drag(int index, const Position &to, bool ctrl) {
    LWToolEvent event = eventAt(to, ctrl ? LWT_EVENT_CTRL : 0);
    funcs_.adjust(state_, &event, index);
  }
  // The user edits a control of the options panel, through the get and set the
  // host received.
  template <typename T>
  void panelSet(std::uintptr_t id, T value) {
    LWXPanelID panel = funcs_.panel(state_);
    ASSERT_NE(panel, nullptr);
    const standin::PanelRecord *record = panels_.panel(panel);
    ASSERT_EQ(record->set(state_, id, &value), LWXPSET_REDRAW);
  }
  void rightClickKeep() {
    LWToolEvent right = eventAt({0, 0, 0}, LWT_EVENT_RIGHT_BUTTON);
    funcs_.down(state_, &right);
    binding_.end(state_, 1);
  }

  // The mesh's positions, bit for bit.
  Snapshot meshSnapshot() const {
    Snapshot s;
    for (std::size_t i = 0; i < mesh_.size(); ++i)
      for (std::size_t a = 0; a < 3; ++a)
        s.add("mesh point " + std::to_string(i) + " axis " + std::to_string(a), mesh_.position(i)[a]);
    return s;
  }
  // What the tool holds in its buffers.
  Snapshot bufferSnapshot() const {
    Snapshot s;
    if (!hasBuffers(*state_)) return s;
    for (int j = 0; j < state_->pointCount; ++j) {
      const std::string at = std::to_string(j);
      const Vec3 &p = state_->positions[j];
      s.add("positions " + at + ".x", p.x);
      s.add("positions " + at + ".y", p.y);
      s.add("positions " + at + ".z", p.z);
      const auto index = mesh_.indexOf(state_->pointIds[j]);
      s.add("pointIds " + at + " (mesh index)", index ? double(*index) : -1.0);
    }
    for (int i = 0; i < state_->pointCount / 2; ++i) {
      const std::string at = std::to_string(i);
      s.add("inverted " + at, state_->inverted[i]);
      const Vec3 &v = state_->handleVectors[i];
      s.add("handleVectors " + at + ".x", v.x);
      s.add("handleVectors " + at + ".y", v.y);
      s.add("handleVectors " + at + ".z", v.z);
    }
    return s;
  }
  static Snapshot recordSnapshot(const StretchToolState &t) {
    Snapshot s;
    s.add("mode", t.mode);
    s.add("factor", t.factor);
    s.add("offset", t.offset);
    s.add("symmetry", t.symmetry);
    s.add("pointCount", t.pointCount);
    s.add("activeHandle", t.activeHandle);
    // Not scanCount: it tells how many selected points the host's scan
    // delivered, which the host decides (an odd one left out or not).
    s.add("testResult", t.testResult);
    s.add("active", t.active);
    s.add("drawState", t.drawState);
    s.add("updateAll", t.updateAll);
    s.add("allHandles", t.allHandles);
    return s;
  }
  // The number of drawing calls the overlay makes now.
  std::size_t overlayCalls() {
    standin::WireRecorder wires;
    funcs_.draw(state_, wires.access());
    return wires.calls().size();
  }

  // Everything an operation leaves: the mesh, the record, the buffers, and
  // the overlay the host draws next (which acknowledges the redraw).
  Snapshot outcome() {
    Snapshot s = meshSnapshot();
    for (const Snapshot &part : {recordSnapshot(*state_), bufferSnapshot()})
      s.values.insert(s.values.end(), part.values.begin(), part.values.end());
    standin::WireRecorder wires;
    funcs_.draw(state_, wires.access());
    for (std::size_t c = 0; c < wires.calls().size(); ++c) {
      const standin::WireCall &w = wires.calls()[c];
      const std::string at = "overlay call " + std::to_string(c);
      s.add(at + " op", double(static_cast<int>(w.op)));
      s.add(at + " mode", w.mode);
      s.add(at + " radius", w.radius);
      for (std::size_t a = 0; a < 3; ++a) s.add(at + " point " + std::to_string(a), w.point[a]);
    }
    return s;
  }

  // Every callback a host may make after a fault, with indices inside and
  // outside the points, event codes the tool does not know, and control IDs
  // its panel does not have. Each answer must be one the interface allows; no
  // buffer entry may change (ASan sees any access outside a buffer). The
  // probes change the tool's flags as a user's clicks would; the record is
  // put back afterwards, so that the repeat starts where the fault left it.
  void probeLaterCallbacks() {
    StretchToolState saved;
    std::memcpy(&saved, state_, sizeof saved);
    const Snapshot buffers = bufferSnapshot();
    LWToolEvent e = eventAt({0.5, 0.5, 0.5});

    const int test = binding_.test(state_);
    EXPECT_TRUE(test == LWT_TEST_NOTHING || test == LWT_TEST_UPDATE || test == LWT_TEST_REJECT ||
                test == LWT_TEST_CLONE)
        << test;
    const int dirty = funcs_.dirty(state_);
    EXPECT_TRUE(dirty == 0 || dirty == (LWT_DIRTY_WIREFRAME | LWT_DIRTY_HELPTEXT)) << dirty;
    EXPECT_NE(funcs_.help(state_, &e), nullptr);
    for (int code : {-1, 3, 99, INT_MAX}) funcs_.event(state_, code);
    EXPECT_EQ(std::memcmp(&saved, state_, sizeof saved), 0) << "an unknown event code changed the tool";

    const int n = state_->pointCount;
    EXPECT_EQ(overlayCalls() % 12, 0u) << "twelve drawing calls a pair";
    const int handles = funcs_.count(state_, &e);
    EXPECT_TRUE(handles == 0 || handles == n) << handles;
    for (int index : {INT_MIN, -1, 0, n - 1, n, INT_MAX}) {
      SCOPED_TRACE(::testing::Message() << "index " << index);
      LWDVector out = {-7, -7, -7};
      const int priority = funcs_.handle(state_, &e, index, out);
      if (index < 0 || index >= n) {
        EXPECT_EQ(priority, 0);
        EXPECT_EQ(out[0], -7) << "a position written for a point that is not there";
      } else {
        EXPECT_TRUE(priority == 0 || priority == index + 1) << priority;
      }
    }
    for (int index : {INT_MIN, -1, n, INT_MAX}) EXPECT_EQ(funcs_.adjust(state_, &e, index), index);

    LWXPanelID panel = funcs_.panel(state_);
    ASSERT_NE(panel, nullptr);
    const standin::PanelRecord *record = panels_.panel(panel);
    for (std::uintptr_t id = kControlActive; id <= kControlSymmetry; ++id)
      EXPECT_NE(record->get(state_, id), nullptr);
    const std::uintptr_t notValues[] = {0, 0x8000, kControlInvertHandle, kControlAbout, 0x8008, UINTPTR_MAX};
    for (std::uintptr_t id : notValues) {
      int value = 1;
      EXPECT_EQ(record->get(state_, id), nullptr) << id;
      EXPECT_EQ(record->set(state_, id, &value), LWXPSET_NONE) << id;
    }
    double factor = *static_cast<const double *>(record->get(state_, kControlFactor));
    EXPECT_EQ(record->set(state_, kControlFactor, &factor), LWXPSET_REDRAW);
    onInvertHandle(panel, kControlInvertHandle);  // twice: every end back where it was
    onInvertHandle(panel, kControlInvertHandle);
    expectSameBits(bufferSnapshot(), buffers);

    std::memcpy(state_, &saved, sizeof saved);
  }

 private:
  std::size_t baselineBlocks_ = 0;
  bool baselineKnown_ = false;
};

}  // namespace ep::testing
