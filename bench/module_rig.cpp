#include "bench/module_rig.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <optional>
#include <vector>

#include "host/host_abi.h"
#include "standin/host/module_loader.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace bench {

namespace {

std::optional<standin::LoadedModule> &loaded() {
  static std::optional<standin::LoadedModule> module;
  return module;
}

constexpr double kFactor = 1.5;

// The coordinates of `count` vectors (the tool's Vec3 or the floor's Vec).
template <typename V>
std::vector<double> flatten(const V *v, std::size_t count) {
  std::vector<double> out;
  for (std::size_t i = 0; i < count; ++i) out.insert(out.end(), {v[i].x, v[i].y, v[i].z});
  return out;
}

// Evicts [begin, begin + bytes) from every cache level: with clflushopt where
// the processor has it (tens of times faster than clflush, which serialises
// every line), else clflush. Followed by a fence (fenceFlushes) before timing.
#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("clflushopt"))) void flushOpt(char *p, std::size_t bytes) {
  for (std::size_t i = 0; i < bytes; i += 64) _mm_clflushopt(p + i);
  _mm_clflushopt(p + bytes - 1);
}
void flush(void *begin, std::size_t bytes) {
  static const bool haveFlushOpt = __builtin_cpu_supports("clflushopt") != 0;
  if (bytes == 0) return;
  char *p = static_cast<char *>(begin);
  if (haveFlushOpt) return flushOpt(p, bytes);
  for (std::size_t i = 0; i < bytes; i += 64) _mm_clflush(p + i);
  _mm_clflush(p + bytes - 1);
}
void fenceFlushes() { _mm_mfence(); }
#else
void flush(void *, std::size_t) {}
void fenceFlushes() {}
#endif

}  // namespace

// The build cases the issue of speed is about (every pair recomputed) are held
// to 1.15; the first build and a drag build to 1.25; what draws to 1.30.
constexpr double kPairLoopTarget = 1.15, kBuildTarget = 1.25, kDrawTarget = 1.30;
const CaseInfo kCases[] = {
    {Case::FirstBuild, false, "first_build", "first build", kBuildTarget},
    {Case::DragBuild, false, "drag_build", "drag build", kBuildTarget},
    {Case::DragBuildCtrl, false, "drag_build_ctrl", "drag build, CTRL", kPairLoopTarget},
    {Case::Recompute, false, "recompute", "recompute (panel)", kPairLoopTarget},
    {Case::Draw, false, "draw", "draw", kDrawTarget},
    // A build and a draw: the draw's target bounds it.
    {Case::DragFrame, false, "drag_frame", "drag frame", kDrawTarget},
    {Case::FirstBuild, true, "first_build_sym", "first build, Symmetry", kBuildTarget},
    {Case::DragBuildCtrl, true, "drag_build_ctrl_sym", "drag build, CTRL, Symmetry", kPairLoopTarget},
    {Case::Recompute, true, "recompute_sym", "recompute, Symmetry", kPairLoopTarget},
};
const std::size_t kCaseCount = sizeof kCases / sizeof kCases[0];

void fatal(const std::string &why) {
  std::fprintf(stderr, "ep_module_bench: %s\n", why.c_str());
  std::exit(2);
}

double benchClock() {
#if defined(__linux__)
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
#else
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
#endif
}

const char *benchClockName() {
#if defined(__linux__)
  return "thread CPU time";
#else
  return "wall time";
#endif
}

void loadModule(const std::string &path) {
  if (loaded()) fatal("the module is loaded already");
  try {
    loaded().emplace(standin::LoadedModule::open(path));
  } catch (const std::exception &error) {
    fatal(std::string("cannot load the module: ") + error.what());
  }
}

void Tool::activate() {
  if (!loaded()) fatal("no module loaded");
  const standin::LoadedModule &module = *loaded();
  const ServerRecord &server = module.requireServer();
  funcs_ = {};
  binding_ = {};
  binding_.tool = &funcs_;
  if (server.activate(LW_MESHEDITTOOL_VERSION, floorGlobal, &binding_, module.startupResult()) != 0)
    fatal("the module did not activate");
  state_ = static_cast<ep::StretchToolState *>(binding_.instance);
}

void Tool::close() {
  if (state_ != nullptr) funcs_.done(state_);
  state_ = nullptr;
}

void Tool::adjust(int index, const Vec &q, bool ctrl) {
  LWToolEvent event{};
  event.posRaw[0] = q.x;
  event.posRaw[1] = q.y;
  event.posRaw[2] = q.z;
  event.portAxis = -1;
  event.flags = ctrl ? LWT_EVENT_CTRL : 0;
  funcs_.adjust(state_, &event, index);
}

// What one run of a case leaves behind, for the comparison.
struct Rig::Outcome {
  CallCounts calls;
  std::uint64_t opSequence = 0, drawSequence = 0;
  std::vector<double> mesh, positions, handleVectors;
  std::string failure;
};

Rig::Rig(const CaseInfo &info, std::size_t points, bool cold) : info_(info), cold_(cold), mesh_(points) {
  floorActivate(floorGlobal);
  // The dragged point: the handle end of the middle pair, pulled out along
  // its line to about 1.37 times the length and off it a little.
  const int pair = static_cast<int>(points / 4);
  k_ = 2 * pair;
  const double *c = mesh_.record(static_cast<std::size_t>(k_)).position;
  const double *b = mesh_.record(static_cast<std::size_t>(k_ + 1)).position;
  q_ = {b[0] + 1.37 * (c[0] - b[0]), b[1] + 1.37 * (c[1] - b[1]), b[2] + 1.37 * (c[2] - b[2]) + 0.25};
  tool_.state().symmetry = info_.symmetry ? 1 : 0;
  if (info_.kind != Case::FirstBuild) {  // both start from a first build
    tool_.state().factor = kFactor;
    if (tool_.build(mesh_.op()) != nullptr) fatal("the tool's first build failed");
    mesh_.restore();
    floorFirstBuild(mesh_.op(), floor_, kFactor, info_.symmetry);
    mesh_.restore();
  }
}

void Rig::prepareTool() {
  mesh_.restore();
  ep::StretchToolState &s = tool_.state();
  switch (info_.kind) {
    case Case::FirstBuild:
      tool_.close();
      tool_.activate();
      // As remembered from an earlier instance.
      tool_.state().factor = kFactor;
      tool_.state().symmetry = info_.symmetry ? 1 : 0;
      break;
    case Case::DragBuild:
    case Case::DragBuildCtrl:
      tool_.adjust(k_, q_, info_.kind == Case::DragBuildCtrl);
      break;
    case Case::Recompute:  // what the panel's Factor control does
      s.factor = kFactor;
      s.updateAll = ep::kUpdateAllPairs;
      break;
    case Case::Draw:
    case Case::DragFrame:
      break;
  }
  if (cold_) flushAll();
}

void Rig::prepareFloor() {
  mesh_.restore();
  if (info_.kind == Case::FirstBuild) floor_ = {};
  if (cold_) flushAll();
}

const char *Rig::runTool(bool checked) {
  MeshEditOp *op = mesh_.op(checked);
  DrawSink &sink = checked ? checkedSink_ : sink_;
  switch (info_.kind) {
    case Case::FirstBuild:
    case Case::DragBuild:
    case Case::DragBuildCtrl:
    case Case::Recompute:
      return tool_.build(op);
    case Case::Draw:
      tool_.draw(sink.access());
      return nullptr;
    case Case::DragFrame: {
      tool_.adjust(k_, q_, false);
      const char *result = tool_.test() == LWT_TEST_UPDATE ? tool_.build(op) : "no update";
      if (tool_.dirty() != 0) tool_.draw(sink.access());
      return result;
    }
  }
  return nullptr;
}

void Rig::runFloor(bool checked) {
  MeshEditOp *op = mesh_.op(checked);
  DrawSink &sink = checked ? checkedSink_ : sink_;
  const int pairs = static_cast<int>(mesh_.size() / 2);
  const bool sym = info_.symmetry;
  switch (info_.kind) {
    case Case::FirstBuild:
      floorFirstBuild(op, floor_, kFactor, sym);
      break;
    case Case::DragBuild:
    case Case::DragBuildCtrl:
      floorDragBuild(op, floor_, k_, q_, info_.kind == Case::DragBuildCtrl, sym);
      break;
    case Case::Recompute:
      floorRecompute(op, floor_, kFactor, sym);
      break;
    case Case::Draw:
      floorDraw(sink.access(), floor_.positions.get(), floor_.handleVectors.get(), pairs);
      break;
    case Case::DragFrame:
      floorDragBuild(op, floor_, k_, q_, false, sym);
      floorDraw(sink.access(), floor_.positions.get(), floor_.handleVectors.get(), pairs);
      break;
  }
}

std::string Rig::check() {
  const Outcome tool = checkedRun(true);
  const Outcome floor = checkedRun(false);
  if (!tool.failure.empty()) return tool.failure;
  if (!(tool.calls == floor.calls))
    return "different calls: tool " + describe(tool.calls) + "; floor " + describe(floor.calls);
  if (tool.opSequence != floor.opSequence)
    return "the same calls per kind, but not in the same order or arguments";
  if (tool.drawSequence != floor.drawSequence) return "different drawing calls or arguments";
  if (!sameBits(tool.mesh, floor.mesh)) return "the mesh differs after tool and floor";
  if (!sameBits(tool.positions, floor.positions)) return "the kept positions differ";
  if (!sameBits(tool.handleVectors, floor.handleVectors)) return "the kept handle vectors differ";
  return "";
}

Rig::Outcome Rig::checkedRun(bool isTool) {
  Outcome out;
  mesh_.resetSequence();
  checkedSink_.resetSequence();
  if (isTool)
    prepareTool();
  else
    prepareFloor();
  counts() = {};
  setChecking(true);
  if (isTool) {
    if (const char *result = runTool(true); result != nullptr)
      out.failure = std::string("the build answered ") + result;
  } else {
    runFloor(true);
  }
  setChecking(false);
  out.calls = counts();
  if (isTool && out.calls[Call::MessageBox] != 0) out.failure = "the tool showed a message box";
  out.opSequence = mesh_.sequence();
  out.drawSequence = checkedSink_.sequence();
  out.mesh = mesh_.positions();
  const std::size_t points = mesh_.size();
  if (isTool) {
    const ep::StretchToolState &s = tool_.state();
    out.positions = flatten(s.positions, points);
    out.handleVectors = flatten(s.handleVectors, points / 2);
  } else {
    out.positions = flatten(floor_.positions.get(), points);
    out.handleVectors = flatten(floor_.handleVectors.get(), points / 2);
  }
  return out;
}

void Rig::flushAll() {
  const std::size_t points = mesh_.size();
  flush(&mesh_.record(0), points * sizeof(EDPointInfo));
  const ep::StretchToolState &s = tool_.state();
  if (ep::hasBuffers(s)) {
    flush(s.positions, points * sizeof(ep::Vec3));
    flush(s.pointIds, points * sizeof(LWPntID));
    flush(s.inverted, points / 2 * sizeof(std::int32_t));
    flush(s.handleVectors, points / 2 * sizeof(ep::Vec3));
  }
  if (floor_.ids != nullptr) {
    flush(floor_.ids.get(), points * sizeof(LWPntID));
    flush(floor_.positions.get(), points * sizeof(Vec));
    flush(floor_.handleVectors.get(), points / 2 * sizeof(Vec));
  }
  fenceFlushes();
}

}  // namespace bench
