// How much the tool adds to what a host must do anyway.
//
//   BM_BuildRecompute/n   a build that recomputes every pair of n points
//   BM_BuildFloor/n       the same host calls with no geometry: count, scan
//                         collecting IDs, one pointInfo per point, one
//                         pntMove per pair, done
//   BM_DrawOverlay/p      the overlay of p pairs into a recording viewport
//   BM_DrawFloor/p        twelve recorded calls a pair with fixed arguments
//
// Counters: points (or calls) per second, and the tool's buffer bytes per
// point, so a change in layout shows up as a change in memory.
#include <benchmark/benchmark.h>

#include <vector>

#include "engine/tool_state.h"
#include "standin/host/edit_operation.h"
#include "standin/host/host_globals.h"
#include "standin/host/mesh.h"
#include "standin/host/module_loader.h"
#include "standin/host/wire_recorder.h"

extern "C" const ModuleDescriptor _mod_descrip;

namespace {

// A live tool over a mesh of n selected points: pairs along x.
struct Bench {
  explicit Bench(int points) {
    globals.messages().setEcho(nullptr);
    globals.monitors().setDisplay(standin::MonitorService::Display::Off);
    for (int i = 0; i < points; ++i) mesh.addPoint({static_cast<double>(i % 2), static_cast<double>(i / 2), 0}, true);
    binding.tool = &funcs;
    server.activate(4, standin::HostGlobals::global, &binding, nullptr);
    state = static_cast<ep::StretchToolState *>(binding.instance);
    build();  // the first build allocates the buffers
  }
  ~Bench() { funcs.done(binding.instance); }
  void build() {
    standin::EditOperation op(mesh);
    binding.build(state, op.op());
  }

  standin::HostGlobals globals;
  standin::LoadedModule module = standin::LoadedModule::linked(&_mod_descrip);
  const ServerRecord &server = module.requireServer();
  standin::Mesh mesh;
  LWToolFuncs funcs{};
  LWMeshEditTool binding{};
  ep::StretchToolState *state = nullptr;
};

void setCounters(benchmark::State &state, double items) {
  state.SetItemsProcessed(static_cast<int64_t>(items) * state.iterations());
}

void BM_BuildRecompute(benchmark::State &st) {
  Bench b(static_cast<int>(st.range(0)));
  b.state->factor = 1.5;
  for (auto _ : st) {
    b.state->updateAll = ep::kUpdateAllPairs;
    b.build();
  }
  setCounters(st, static_cast<double>(st.range(0)));
  st.counters["buffer_bytes_per_point"] =
      sizeof(ep::Vec3) + sizeof(LWPntID) + (sizeof(std::int32_t) + sizeof(ep::Vec3)) / 2.0;
}

extern "C" int collectIds(void *userData, const EDPointInfo *info) {
  auto *ids = static_cast<std::vector<LWPntID> *>(userData);
  if ((info->flags & EDPF_SELECT) != 0) ids->push_back(info->pnt);
  return 0;
}

void BM_BuildFloor(benchmark::State &st) {
  Bench b(static_cast<int>(st.range(0)));
  std::vector<LWPntID> ids;
  ids.reserve(static_cast<std::size_t>(st.range(0)));
  for (auto _ : st) {
    standin::EditOperation edit(b.mesh);
    MeshEditOp *op = edit.op();
    ids.clear();
    benchmark::DoNotOptimize(op->pointCount(op->state, 0, 1));
    op->pointScan(op->state, collectIds, &ids, 0);
    for (std::size_t i = 0; i < ids.size(); ++i) {
      const EDPointInfo *info = op->pointInfo(op->state, ids[i]);
      if (i % 2 == 0) op->pntMove(op->state, ids[i], info->position);
    }
    op->done(op->state, 0, 0);
  }
  setCounters(st, static_cast<double>(st.range(0)));
}

void BM_DrawOverlay(benchmark::State &st) {
  Bench b(static_cast<int>(2 * st.range(0)));
  standin::WireRecorder recorder;
  for (auto _ : st) {
    recorder.clear();
    b.state->drawState = ep::kDrawRedraw;
    b.funcs.draw(b.state, recorder.access());
  }
  setCounters(st, static_cast<double>(12 * st.range(0)));
}

void BM_DrawFloor(benchmark::State &st) {
  standin::WireRecorder recorder;
  LWWireDrawAccess *access = recorder.access();
  const LWFVector point = {1, 2, 3};
  for (auto _ : st) {
    recorder.clear();
    for (int64_t pair = 0; pair < st.range(0); ++pair) {
      for (int i = 0; i < 5; ++i) {
        access->moveTo(access->data, point, 0);
        access->lineTo(access->data, point, 0);
      }
      access->moveTo(access->data, point, 0);
      access->circle(access->data, 0.5, 101);
    }
  }
  setCounters(st, static_cast<double>(12 * st.range(0)));
}

BENCHMARK(BM_BuildRecompute)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildFloor)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawOverlay)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawFloor)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
