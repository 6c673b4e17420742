// Every host fault at every place it can strike, failed in turn as SQLite
// fails its allocations: for each operation, a loop fails the 1st, 2nd, ...
// allocation, point move, point read, monitor step or point of the scan until
// the operation runs through. After each failure it checks what the host saw
// (the box, the build's answer, the edit's state), that every later callback
// is safe, that nothing leaked, and that the operation done again without a
// fault leaves, bit for bit, what it leaves on a host that never failed.
#include "tests/entry/fault_loop.h"

#include <cmath>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "tests/entry/host_binding.h"

namespace ep::testing {
namespace {

enum class Fault { Allocation, PointMove, PointInfo, MonitorStep, ScanPoint };

const char *faultName(Fault f) {
  switch (f) {
    case Fault::Allocation:
      return "Allocation";
    case Fault::PointMove:
      return "PointMove";
    case Fault::PointInfo:
      return "PointInfo";
    case Fault::MonitorStep:
      return "MonitorStep";
    case Fault::ScanPoint:
      return "ScanPoint";
  }
  return "?";
}

// How the box of a failed move is chosen: by the pair's ends (a stretch), and
// for the dragged pair by its own codes.
enum class Moves { Stretch, Drag, ZeroLengthDrag };

constexpr int kMoveFailCode = 6;
const MessageBox kNoMemory{MessageKind::Error, "Error (Code #010)",
                           "It failed in the reservation of memory."};
const MessageBox kScanFailed{MessageKind::Error, "Error (Code #001)", "Unknown."};

// One operation: what happens first on a host that never fails, then the
// user's part of the operation, which its build follows. After a fault the
// user's part is done again (`again`), except what would undo itself.
struct Operation {
  const char *name;
  bool coincident;  // pair 0's two points at one place
  void (*prepare)(FaultLoopTest &);
  void (*gesture)(FaultLoopTest &, bool again);
  Moves moves;
};

void firstBuild(FaultLoopTest &t) { ASSERT_EQ(t.build(), ""); }

const Operation kOperations[] = {
    {"FirstBuild", false,
     [](FaultLoopTest &t) {  // remembered settings: Factor 1.5 with Symmetry
       t.state_->factor = 1.5;
       t.state_->symmetry = 1;
     },
     [](FaultLoopTest &, bool) {}, Moves::Stretch},
    {"Drag", false,
     [](FaultLoopTest &t) {
       t.state_->factor = 1.5;
       firstBuild(t);
     },
     [](FaultLoopTest &t, bool) {
       t.drag(2, {1, 5, 0.5}, false);
     },
     Moves::Drag},
    {"CtrlDragOffsetSymmetry", false,
     [](FaultLoopTest &t) {
       t.state_->mode = 1;
       t.state_->symmetry = 1;
       firstBuild(t);
     },
     [](FaultLoopTest &t, bool) {
       t.drag(2, {1, 4, 0}, true);
     },
     Moves::Drag},
    {"CtrlDragOfAZeroLengthPair", true, firstBuild,
     [](FaultLoopTest &t, bool) {
       t.drag(0, {0, 1, 3}, true);
     },
     Moves::ZeroLengthDrag},
    {"PanelEdit", false, firstBuild,
     [](FaultLoopTest &t, bool) {
       t.panelSet(kControlSymmetry, 1);
       t.panelSet(kControlFactor, 2.5);
     },
     Moves::Stretch},
    {"RightClickKeep", false,
     [](FaultLoopTest &t) {
       t.state_->factor = 1.5;
       firstBuild(t);
       t.drag(2, {1, 5, 0}, false);
       firstBuild(t);
     },
     [](FaultLoopTest &t, bool) { t.rightClickKeep(); }, Moves::Drag},
    {"PressThenBuild", false,  // a press that takes no handle: the next build starts a fresh stretch
     [](FaultLoopTest &t) {
       t.state_->factor = 1.5;
       t.state_->symmetry = 1;
       firstBuild(t);
       onInvertHandle(nullptr, kControlInvertHandle);  // the fresh stretch puts the ends back
     },
     [](FaultLoopTest &t, bool) {
       LWToolEvent press = FaultLoopTest::eventAt({3, 3, 3});
       t.funcs_.down(t.state_, &press);
     },
     Moves::Stretch},
    {"InvertHandleThenBuild", false,
     [](FaultLoopTest &t) {
       t.state_->factor = 1.5;
       firstBuild(t);
     },
     [](FaultLoopTest &, bool again) {
       if (!again) onInvertHandle(nullptr, kControlInvertHandle);
     },
     Moves::Stretch},
};

class FaultLoop : public FaultLoopTest {
 protected:
  // The operation's gesture and build with the k-th occurrence of `fault`
  // failing (k 0: none). Returns the build's answer; `reached` is how many
  // occurrences of that kind the operation came to.
  std::string attempt(const Operation &op, Fault fault, unsigned k, unsigned &reached) {
    EditFaults faults;
    faults.moveFailCode = kMoveFailCode;
    if (fault == Fault::PointMove) faults.failMoveCall = k;
    if (fault == Fault::PointInfo) faults.nullInfoCall = k;
    if (fault == Fault::ScanPoint && k != 0) {
      // The scan ends before the k-th selected point.
      const std::size_t selected = mesh_.selectedCount();
      faults.scanWithholdSelected = k - 1 < selected ? selected - (k - 1) : 0;
    }
    if (fault == Fault::MonitorStep && k != 0) globals_.monitors().abortAtStep(k);
    ::ep::testing::failAllocationNumber(fault == Fault::Allocation ? k : 0);

    op.gesture(*this, false);
    const std::string answer = build(faults);

    reached = 0;
    switch (fault) {
      case Fault::Allocation:
        reached = ::ep::testing::allocationsSinceArmed();
        break;
      case Fault::PointMove:
        reached = unsigned(op_->callCount(OpCallKind::PntMove));
        break;
      case Fault::PointInfo:
        reached = unsigned(op_->callCount(OpCallKind::PointInfo));
        break;
      case Fault::MonitorStep:
        reached = unsigned(globals_.monitors().history().back().stepCalls);
        break;
      case Fault::ScanPoint:
        reached = unsigned(state_->pointCount);
        break;
    }
    ::ep::testing::failAllocationNumber(0);
    globals_.monitors().abortAtStep(std::nullopt);
    return answer;
  }

  // The box of the failed move: the title names the point's part in the
  // operation, from the failing call the host saw.
  MessageBox failedMoveBox(const Operation &op) {
    int j = -1;
    for (const OpCall &c : callsOf(OpCallKind::PntMove))
      if (c.result == kMoveFailCode)
        for (int i = 0; i < state_->pointCount; ++i)
          if (state_->pointIds[i] == c.point) j = i;
    EXPECT_GE(j, 0) << "no move failed";
    const int k = state_->activeHandle;
    const bool handleEnd = j >= 0 && j == handleEndOf(*state_, j / 2);
    const char *title = handleEnd ? "Error (Code #017)" : "Error (Code #018)";
    if (op.moves == Moves::Drag && j == k) title = "Error (Code #020)";
    if (op.moves == Moves::Drag && j == (k ^ 1)) title = "Error (Code #021)";
    if (op.moves == Moves::ZeroLengthDrag)
      title = j == k ? "Error (Code #019)" : handleEnd ? "Error (Code #022)" : "Error (Code #023)";
    return {MessageKind::Error, title, "Unknown."};
  }

  // What the host sees of the k-th fault: the build's answer, the box, the
  // edit's state, an operation left without done and the mesh as it was.
  void expectFaultSeen(const Operation &op, Fault fault, unsigned k, const std::string &answer,
                       const Snapshot &meshBefore) {
    if (fault == Fault::Allocation) {
      // Reported, and the edit goes on without buffers until the next build.
      EXPECT_EQ(answer, "");
      EXPECT_EQ(boxes(), std::vector<MessageBox>{kNoMemory});
      EXPECT_FALSE(hasBuffers(*state_));
      EXPECT_EQ(state_->pointCount, 6);
      EXPECT_EQ(state_->active, 1);
      EXPECT_EQ(binding_.test(state_), LWT_TEST_NOTHING);
      EXPECT_EQ(funcs_.dirty(state_), LWT_DIRTY_WIREFRAME | LWT_DIRTY_HELPTEXT);
    } else {
      EXPECT_EQ(answer, "Failed");
      std::vector<MessageBox> want;
      if (fault == Fault::PointMove) want = {failedMoveBox(op)};
      if (fault == Fault::PointInfo || fault == Fault::ScanPoint) want = {kScanFailed};
      // The monitor steps once for each point the scan delivers (every point
      // of the mesh): an abort there fails the scan; later, in a pair loop,
      // it is the user's and shows nothing.
      if (fault == Fault::MonitorStep && k <= mesh_.size()) want = {kScanFailed};
      EXPECT_EQ(boxes(), want);
      EXPECT_EQ(state_->active, 0);
      EXPECT_EQ(binding_.test(state_), LWT_TEST_UPDATE);
      EXPECT_EQ(funcs_.dirty(state_), 0);
      EXPECT_TRUE(hasBuffers(*state_)) << "the buffers stay for the next edit";
      EXPECT_EQ(state_->pointCount, 6);
    }
    // No overlay and no handles: the edit has ended, or it has no buffers.
    LWToolEvent e = eventAt({0, 0, 0});
    EXPECT_EQ(funcs_.count(state_, &e), 0);
    EXPECT_EQ(overlayCalls(), 0u);
    EXPECT_FALSE(op_->doneCalled()) << "a failed build must leave the operation's moves to the host to drop";
    EXPECT_EQ(op_->misuseCount(), 0u);
    EXPECT_EQ(globals_.monitors().liveCount(), 0u);
    const standin::MonitorLog &monitor = globals_.monitors().history().back();
    EXPECT_TRUE(monitor.done && monitor.destroyed) << "the build's monitor is finished and destroyed";
    expectSameBits(meshSnapshot(), meshBefore);
  }

  // After a fault the user starts the edit again where it ended (the host's
  // start on a press) and repeats the operation; its build must succeed.
  void repeatWithoutFault(const Operation &op) {
    globals_.messages().clear();
    if (state_->active == 0) {
      LWToolEvent press = eventAt({0, 0, 0});
      funcs_.start(state_, &press);
    }
    op.gesture(*this, true);
    EXPECT_EQ(build(), "");
    EXPECT_TRUE(boxes().empty());
  }
};

class EveryFault : public FaultLoop, public ::testing::WithParamInterface<std::tuple<int, Fault>> {};

TEST_P(EveryFault, FailsEachOccurrenceInTurnUntilTheOperationRunsThrough) {
  const Operation &op = kOperations[std::get<0>(GetParam())];
  const Fault fault = std::get<1>(GetParam());

  restart(op.coincident);
  op.prepare(*this);
  const bool firstOfInstance = state_->pointCount == 0;
  unsigned total = 0;
  ASSERT_EQ(attempt(op, fault, 0, total), "");
  ASSERT_TRUE(boxes().empty());
  const Snapshot reference = outcome();
  if (fault == Fault::Allocation) {
    EXPECT_EQ(total, firstOfInstance ? 4u : 0u)
        << "only an instance's first build allocates: its four buffers";
  } else {
    EXPECT_GT(total, 0u) << "the operation never reaches this fault site";
  }

  for (unsigned k = 1; k <= total + 1; ++k) {
    SCOPED_TRACE(::testing::Message() << faultName(fault) << " " << k << " of " << total << " fails");
    restart(op.coincident);
    op.prepare(*this);
    if (HasFatalFailure()) return;
    globals_.messages().clear();
    const Snapshot meshBefore = meshSnapshot();
    unsigned reached = 0;
    const std::string answer = attempt(op, fault, k, reached);
    if (k > total) {  // no occurrence left to fail: the operation runs through
      EXPECT_LT(reached, k);
      EXPECT_EQ(answer, "");
      EXPECT_TRUE(boxes().empty());
      expectSameBits(outcome(), reference);
      break;
    }
    EXPECT_GE(reached, k) << "the k-th occurrence never came";
    expectFaultSeen(op, fault, k, answer, meshBefore);
    probeLaterCallbacks();
    repeatWithoutFault(op);
    expectSameBits(outcome(), reference);
    if (HasFailure()) return;  // one failing k says it all
  }
}

std::string paramName(const ::testing::TestParamInfo<std::tuple<int, Fault>> &info) {
  return std::string(kOperations[std::get<0>(info.param)].name) + "_" + faultName(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(FaultLoop, EveryFault,
                         ::testing::Combine(::testing::Range(0, int(std::size(kOperations))),
                                            ::testing::Values(Fault::Allocation, Fault::PointMove,
                                                              Fault::PointInfo, Fault::MonitorStep,
                                                              Fault::ScanPoint)),
                         paramName);

// A host without a progress monitor: every operation gives what it gives
// with one, and no monitor is asked for more than the pass that finds none.
class WithoutAMonitor : public FaultLoop, public ::testing::WithParamInterface<int> {};

TEST_P(WithoutAMonitor, EveryOperationGivesTheSameResult) {
  const Operation &op = kOperations[GetParam()];
  restart(op.coincident);
  op.prepare(*this);
  unsigned reached = 0;
  ASSERT_EQ(attempt(op, Fault::MonitorStep, 0, reached), "");
  const Snapshot reference = outcome();

  restart(op.coincident);
  op.prepare(*this);
  globals_.messages().clear();
  const std::size_t monitorsBefore = globals_.monitors().history().size();
  globals_.monitors().setAvailable(false);
  globals_.monitors().abortAtStep(1);  // a monitor would abort at once: there is none
  op.gesture(*this, false);
  EXPECT_EQ(build(), "");
  globals_.monitors().setAvailable(true);
  globals_.monitors().abortAtStep(std::nullopt);
  EXPECT_TRUE(boxes().empty());
  EXPECT_EQ(globals_.monitors().history().size(), monitorsBefore);
  EXPECT_TRUE(op_->doneCalled());
  expectSameBits(outcome(), reference);
}

std::string operationName(const ::testing::TestParamInfo<int> &param) {
  return kOperations[param.param].name;
}

INSTANTIATE_TEST_SUITE_P(FaultLoop, WithoutAMonitor, ::testing::Range(0, int(std::size(kOperations))),
                         operationName);

// The host's k-th global lookup answers NULL (0: none).
unsigned lookupToRefuse = 0;
unsigned lookupsMade = 0;
void *refusingGlobal(const char *name, int use) {
  if (++lookupsMade == lookupToRefuse) return nullptr;
  return standin::HostGlobals::global(name, use);
}

// A second activation while an instance lives, failed at each of its three
// lookups and at its one allocation: the host gets 2 (a service is missing)
// or 3 (no memory), a binding left as it gave it, and nothing allocated; the
// live instance keeps its services, and the next activation makes what a
// host that never failed gets.
TEST_F(FaultLoop, ActivationFailsAtEachLookupAndItsAllocation) {
  enum class Site { Lookup, Allocation };
  for (const Site site : {Site::Lookup, Site::Allocation}) {
    SCOPED_TRACE(site == Site::Lookup ? "lookups" : "allocations");
    auto activate = [&](Binding &b, unsigned k) {
      lookupsMade = 0;
      lookupToRefuse = site == Site::Lookup ? k : 0;
      ::ep::testing::failAllocationNumber(site == Site::Allocation ? k : 0);
      const int result = server_.activate(4, refusingGlobal, &b.tool, module_.startupResult());
      const unsigned reached = site == Site::Lookup ? lookupsMade : ::ep::testing::allocationsSinceArmed();
      ::ep::testing::failAllocationNumber(0);
      lookupToRefuse = 0;
      return std::pair{result, reached};
    };
    restart();
    ASSERT_EQ(build(), "");
    const Snapshot liveReference = outcome();
    Snapshot newReference;
    unsigned total = 0;
    {
      Binding reference;
      int result = 0;
      std::tie(result, total) = activate(reference, 0);
      ASSERT_EQ(result, LW_ACTIVATE_OK);
      newReference = recordSnapshot(*static_cast<StretchToolState *>(reference.tool.instance));
    }
    EXPECT_EQ(total, site == Site::Lookup ? 3u : 1u);

    for (unsigned k = 1; k <= total + 1; ++k) {
      SCOPED_TRACE(::testing::Message() << k << " fails");
      restart();
      const std::size_t blocks = ::ep::testing::liveBlocks();
      Binding failed;
      const auto [result, reached] = activate(failed, k);
      if (k > total) {
        ASSERT_EQ(result, LW_ACTIVATE_OK);
        expectSameBits(recordSnapshot(*static_cast<StretchToolState *>(failed.tool.instance)), newReference);
        break;
      }
      EXPECT_EQ(result, site == Site::Lookup ? LW_ACTIVATE_BAD_GLOBAL : LW_ACTIVATE_BAD_LOCAL);
      EXPECT_EQ(reached, k) << "the lookups stop at the first missing service";
      EXPECT_TRUE(failed.untouched());
      EXPECT_EQ(::ep::testing::liveBlocks(), blocks);
      EXPECT_EQ(currentTool, state_) << "the live instance stays the newest";
      EXPECT_TRUE(boxes().empty());

      probeLaterCallbacks();
      EXPECT_EQ(build(), "");
      EXPECT_TRUE(boxes().empty());
      expectSameBits(outcome(), liveReference);
      Binding next;
      ASSERT_EQ(activate(next, 0).first, LW_ACTIVATE_OK);
      expectSameBits(recordSnapshot(*static_cast<StretchToolState *>(next.tool.instance)), newReference);
    }
  }
}

// The options panel and its About button, with the host refusing the k-th
// panel it is asked to create: nothing is shown, no box, the tool unchanged,
// no panel left behind but the host's own; the next About shows the same
// picture as on a host that never refused.
TEST_F(FaultLoop, AboutFailsAtEachPanelItCreates) {
  std::vector<std::uint8_t> picture;
  int pictures = 0;
  panels_.setThumbnailSink(
      [&](const standin::PanelRecord &, std::uintptr_t, const standin::ThumbnailCanvas &c) {
        picture = c.image().bytes();
        ++pictures;
      });
  // Creates the options panel (refused when k is 1), then presses its About
  // button (its panel refused when k is 2). True when About was pressed.
  auto openAndPressAbout = [&](unsigned k) {
    panels_.failNextCreates(k == 1 ? 1 : 0);
    LWXPanelID panel = funcs_.panel(state_);
    if (panel == nullptr) return false;
    panels_.failNextCreates(k == 2 ? 1 : 0);
    panels_.panel(panel)->hintsFor(kControlAbout)->buttonClick(panel, kControlAbout);
    panels_.failNextCreates(0);
    return true;
  };
  auto createsAndPosts = [&] {
    std::pair<int, int> n{0, 0};
    for (const standin::PanelCall &c : panels_.calls()) {
      n.first += c.kind == standin::PanelCallKind::Create ? 1 : 0;
      n.second += c.kind == standin::PanelCallKind::Post ? 1 : 0;
    }
    return n;
  };

  restart();
  ASSERT_EQ(build(), "");
  panels_.clearCalls();
  ::ep::testing::failAllocationNumber(0);
  ASSERT_TRUE(openAndPressAbout(0));
  EXPECT_EQ(::ep::testing::allocationsSinceArmed(), 0u) << "About allocates nothing of the module's";
  EXPECT_EQ(createsAndPosts(), (std::pair{2, 1}));
  ASSERT_EQ(pictures, 1);
  const std::vector<std::uint8_t> reference = picture;

  for (unsigned k = 1; k <= 2; ++k) {
    SCOPED_TRACE(::testing::Message() << "create " << k << " refused");
    restart();
    ASSERT_EQ(build(), "");
    StretchToolState before;
    std::memcpy(&before, state_, sizeof before);
    const std::size_t livePanels = panels_.panels().size();
    panels_.clearCalls();
    pictures = 0;
    EXPECT_EQ(openAndPressAbout(k), k == 2);
    EXPECT_EQ(createsAndPosts(), (std::pair{int(k), 0}));
    EXPECT_EQ(pictures, 0);
    EXPECT_EQ(panels_.panels().size(), livePanels + (k == 2 ? 1 : 0)) << "only the options panel, the host's";
    EXPECT_TRUE(boxes().empty());
    EXPECT_EQ(std::memcmp(&before, state_, sizeof before), 0);

    probeLaterCallbacks();
    ASSERT_TRUE(openAndPressAbout(0));
    ASSERT_EQ(pictures, 1);
    EXPECT_EQ(picture, reference);
  }
}

// Indices a host should not send: handle and adjust outside the points, and
// start without an event. handle answers 0 and writes nothing; adjust
// answers the index, touches no buffer and asks for no build; a build after
// it all the same moves nothing and changes no value; and it is no pending
// drag: a press, the stray adjust,
// Invert Handle and a build give what the press, Invert Handle and the build
// give without it.
TEST_F(FaultLoop, IndicesOutsideThePoints) {
  auto pressInvertAndBuild = [&](std::optional<int> strayAdjust) {
    LWToolEvent press = eventAt({3, 3, 3});
    funcs_.down(state_, &press);
    if (strayAdjust) {
      EXPECT_EQ(funcs_.adjust(state_, &press, *strayAdjust), *strayAdjust);
    }
    onInvertHandle(nullptr, kControlInvertHandle);
    return build();
  };
  restart();
  state_->factor = 1.5;
  ASSERT_EQ(build(), "");
  ASSERT_EQ(pressInvertAndBuild(std::nullopt), "");
  const Snapshot reference = outcome();
  EXPECT_EQ(funcs_.start(state_, nullptr), 1)
      << "without an event: pair 0's handle end, point 1 after the swap";

  for (int index : {INT_MIN, -1, 6, INT_MAX}) {
    SCOPED_TRACE(::testing::Message() << "index " << index);
    restart();
    state_->factor = 1.5;
    ASSERT_EQ(build(), "");
    const Snapshot meshBefore = meshSnapshot();
    const Snapshot buffers = bufferSnapshot();
    LWToolEvent e = eventAt({4, 4, 4});
    LWDVector out = {-7, -7, -7};
    EXPECT_EQ(funcs_.handle(state_, &e, index, out), 0);
    EXPECT_EQ(out[0], -7);
    EXPECT_EQ(funcs_.adjust(state_, &e, index), index);
    EXPECT_EQ(state_->activeHandle, index);
    expectSameBits(bufferSnapshot(), buffers);
    EXPECT_EQ(binding_.test(state_), LWT_TEST_NOTHING) << "no build asked for";
    // Even so a host may build. -1 is "no handle": that build starts a fresh
    // stretch (as after a press); any other stray index reads the points back.
    if (index != kNoHandle) {
      EXPECT_EQ(build(), "");
      EXPECT_TRUE(boxes().empty());
      expectSameBits(meshSnapshot(), meshBefore);
      EXPECT_EQ(state_->factor, 1.5);
    }

    restart();
    state_->factor = 1.5;
    ASSERT_EQ(build(), "");
    EXPECT_EQ(pressInvertAndBuild(index), "");
    expectSameBits(outcome(), reference);
  }
}

// Pair 1's ends brought together, built, and its handle end dragged with CTRL.
void zeroLengthCtrlDrag(FaultLoopTest &t) {
  t.mesh_.setPosition(4, {1, 3, 0});
  ASSERT_EQ(t.build(), "");
  t.drag(2, {1, 3, 4}, true);
}

// Values no host should send: non-finite panel values, drag targets and
// point positions. Nothing crashes; a point the host has at a finite place is
// never moved to a non-finite one; the answer and the box are as listed; the
// later callbacks are safe. After a bad value, a sound one gives what it gives
// on a host that never sent the bad one; a pair with an end the host reports
// at a non-finite place is left where it is, and the others are stretched as
// on sound points.
TEST_F(FaultLoop, NonFiniteValuesFromTheHost) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  constexpr double kInf = std::numeric_limits<double>::infinity();
  const MessageBox kOutOfRange{MessageKind::Error, "Error (Code #024)", "The result would be out of range."};
  struct Case {
    const char *what;
    bool coincident;  // pair 0's two points at one place
    void (*bad)(FaultLoopTest &);
    void (*sound)(FaultLoopTest &);  // the same edit with a sound value, on sound points
    std::string answer;
    std::vector<MessageBox> boxes;
    bool badPoint;        // the host reports an end of pair 0 at a non-finite place
    bool solves = false;  // a sound drag solves a new value
  };
  auto soundPanel = [](FaultLoopTest &t) {
    t.panelSet(kControlMode, 0);
    t.panelSet(kControlSymmetry, 0);
    t.panelSet(kControlFactor, 1.5);
  };
  const Case cases[] = {
      {"Factor NaN",
       false,
       [](FaultLoopTest &t) { t.panelSet(kControlFactor, kNaN); },
       soundPanel,
       "",
       {},
       false},
      {"Factor infinity",
       false,
       [](FaultLoopTest &t) { t.panelSet(kControlFactor, kInf); },
       soundPanel,
       "Failed",
       {kOutOfRange},
       false},
      {"Offset minus infinity",
       false,
       [](FaultLoopTest &t) {
         t.panelSet(kControlMode, 1);
         t.panelSet(kControlOffset, -kInf);
       },
       soundPanel,
       "Failed",
       {kOutOfRange},
       false},
      {"Offset NaN with Symmetry",
       false,
       [](FaultLoopTest &t) {
         t.panelSet(kControlMode, 1);
         t.panelSet(kControlSymmetry, 1);
         t.panelSet(kControlOffset, kNaN);
       },
       soundPanel,
       "",
       {},
       false},
      {"a drag to NaN",
       false,
       [](FaultLoopTest &t) {
         t.drag(2, {kNaN, 0, 0}, false);
       },
       [](FaultLoopTest &t) {
         t.drag(2, {1, 5, 0}, false);
       },
       "",
       {},
       false},
      {"a CTRL drag to infinity",
       false,
       [](FaultLoopTest &t) {
         t.drag(2, {1, kInf, 0}, true);
       },
       [](FaultLoopTest &t) {
         t.drag(2, {1, 5, 0}, true);
       },
       "",
       {},
       false},
      {"a CTRL drag of a zero-length pair to minus infinity",
       true,
       [](FaultLoopTest &t) {
         t.drag(0, {0, -kInf, 0}, true);
       },
       [](FaultLoopTest &t) {
         t.drag(0, {0, 1, 3}, true);
       },
       "",
       {},
       false},
      {"a point the host reports at NaN",
       false,
       [](FaultLoopTest &t) {
         t.mesh_.setPosition(0, {kNaN, 2, 0});
         t.panelSet(kControlFactor, 2.0);
       },
       [](FaultLoopTest &t) { t.panelSet(kControlFactor, 2.0); },
       "",
       {},
       true},
      {"a point the host reports at infinity, CTRL-dragging another pair",
       false,
       [](FaultLoopTest &t) {
         t.mesh_.setPosition(1, {0, -kInf, 0});
         t.drag(2, {1, 5, 0}, true);
       },
       [](FaultLoopTest &t) {
         t.drag(2, {1, 5, 0}, true);
       },
       "",
       {},
       true,
       true},
      {"dragging a pair the host reports at infinity",
       false,
       [](FaultLoopTest &t) {
         t.mesh_.setPosition(1, {0, 0, -kInf});
         t.drag(0, {0, 5, 0}, true);
       },
       nullptr,
       "",
       {},
       true},
      {"dragging a point the host reports at NaN",
       false,
       [](FaultLoopTest &t) {
         t.mesh_.setPosition(0, {0, kNaN, 0});
         t.drag(0, {0, 5, 0}, false);
       },
       nullptr,
       "",
       {},
       true},
      {"a CTRL drag of a zero-length pair carrying a pair the host reports at NaN",
       false,
       [](FaultLoopTest &t) {
         t.mesh_.setPosition(0, {0, 2, kNaN});
         zeroLengthCtrlDrag(t);
       },
       zeroLengthCtrlDrag,
       "",
       {},
       true},
      {"a mode the panel does not offer (2), then a panel edit",
       false,
       [](FaultLoopTest &t) {
         t.panelSet(kControlMode, 2);
         t.panelSet(kControlFactor, 3.0);
       },
       soundPanel,
       "",
       {},
       false},
      {"a mode the panel does not offer (2), then a CTRL drag",
       false,
       [](FaultLoopTest &t) {
         t.panelSet(kControlMode, 2);
         t.drag(2, {1, 5, 0}, true);
       },
       [](FaultLoopTest &t) {
         t.panelSet(kControlMode, 0);
         t.drag(2, {1, 5, 0}, true);
       },
       "",
       {},
       false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Snapshot reference;
    if (c.sound != nullptr) {
      restart(c.coincident);
      ASSERT_EQ(build(), "");
      c.sound(*this);
      ASSERT_EQ(build(), "");
      reference = outcome();
    }

    restart(c.coincident);
    ASSERT_EQ(build(), "");
    globals_.messages().clear();
    c.bad(*this);
    if (HasFatalFailure()) return;
    std::vector<bool> finite;
    for (std::size_t i = 0; i < mesh_.size(); ++i) {
      const Position &p = mesh_.position(i);
      finite.push_back(std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]));
    }
    const Snapshot meshBefore = meshSnapshot();
    const double values[] = {state_->factor, state_->offset};
    EXPECT_EQ(build(), c.answer);
    EXPECT_EQ(boxes(), c.boxes);
    const double valuesAfter[] = {state_->factor, state_->offset};
    if (!c.solves) {
      EXPECT_EQ(std::memcmp(values, valuesAfter, sizeof values), 0) << "the build changed Factor or Offset";
    }
    for (const OpCall &move : callsOf(OpCallKind::PntMove)) {
      const std::size_t i = *mesh_.indexOf(move.point);
      const Position &p = move.position;
      EXPECT_TRUE(!finite[i] || (std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2])))
          << "point " << i << " moved to " << p[0] << " " << p[1] << " " << p[2];
      if (c.badPoint) {
        EXPECT_GT(i, 1u) << "the pair with an end at a non-finite place is left where it is";
      }
    }
    probeLaterCallbacks();
    if (c.badPoint) {
      // Every other point where the same edit puts it on sound points (or,
      // when the bad pair is dragged, where it was).
      const Snapshot after = meshSnapshot();
      const Snapshot &want = c.sound != nullptr ? reference : meshBefore;
      for (std::size_t v = 6; v < after.values.size(); ++v) {  // from point 2 on
        SCOPED_TRACE(after.values[v].first);
        EXPECT_EQ(std::memcmp(&after.values[v].second, &want.values[v].second, sizeof(double)), 0);
      }
      continue;
    }
    expectSameBits(meshSnapshot(), meshBefore);  // nothing moved

    globals_.messages().clear();
    if (state_->active == 0) {
      LWToolEvent press = eventAt({0, 0, 0});
      funcs_.start(state_, &press);
    }
    c.sound(*this);
    EXPECT_EQ(build(), "");
    EXPECT_TRUE(boxes().empty());
    expectSameBits(outcome(), reference);
  }
}

}  // namespace
}  // namespace ep::testing
