// One drag frame of the playground: the page's request in, the tool driven
// through the stand-in host (adjust, test, build, dirty, draw), the answer of
// what changed out; on a mesh of n points, every point selected (n / 2
// vertical pairs on a grid).
//
//   BM_PlaygroundDragFrame/n        the API call: JSON in, session, JSON out
//   BM_PlaygroundDragFrameCtrl/n    the same with CTRL: every pair moves, so
//                                   the answer carries every point and call
//   BM_PlaygroundDragFrame[Ctrl]Binary/n
//                                   the same with the binary answer the page asks for
//   BM_PlaygroundDragFrameHttp/n    the same as BM_PlaygroundDragFrame over
//                                   HTTP on the loopback, with a client
//
// Beside each: the counter module_ms, the time per frame spent inside the
// tool's own callbacks (the host's calls they make included), measured by
// shims around the binding's slots; answer_bytes, the answer's size.
//
//   BM_PlaygroundVsFloor/n/ctrl/binary
//                                a drag frame of the API against its floor,
//                                interleaved in one loop, each read with the
//                                thread's CPU time: server_ms and floor_ms
//                                are medians, ratio their quotient. The
//                                answer is the binary form the page asks for
//                                (binary 1) or JSON (0). The floor is the
//                                module's own frame (adjust, test, build,
//                                dirty, draw) on the floor host
//                                (bench/floor_host.h), loaded from its file,
//                                plus copying the moved points as they would
//                                be sent: a uint32 index and three float64
//                                each (with CTRL every pair's handle end, the
//                                even points of this mesh; moved_points says
//                                how many the answer moved). floor_bytes is
//                                that copy's size; bytes_ratio is the
//                                answer's size over the moved points'
//                                positions as float64 (24 bytes a point).
#include <benchmark/benchmark.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "bench/module_rig.h"
#include "standin/host/host_globals.h"
#include "standin/host/module_loader.h"
#include "standin/host/number_text.h"
#include "standin/server/module_thread.h"
#include "standin/server/playground_api.h"
#include "standin/server/playground_server.h"
#include "standin/session/obj_file.h"

extern "C" const ModuleDescriptor _mod_descrip;

namespace {

using Clock = std::chrono::steady_clock;

// Time spent inside the tool's callbacks.
double moduleSeconds = 0;

struct Slots {
  LWToolFuncs tool;
  int (*test)(void *);
  const char *(*build)(void *, MeshEditOp *);
} original;

template <typename F, typename... A>
auto timed(F f, A... args) {
  const auto start = Clock::now();
  if constexpr (std::is_void_v<decltype(f(args...))>) {
    f(args...);
    moduleSeconds += std::chrono::duration<double>(Clock::now() - start).count();
  } else {
    auto result = f(args...);
    moduleSeconds += std::chrono::duration<double>(Clock::now() - start).count();
    return result;
  }
}

void timeTheTool(standin::ToolSession &session) {
  LWToolFuncs &t = session.table();
  LWMeshEditTool &b = session.binding();
  original = {t, b.test, b.build};
  t.draw = [](void *i, LWWireDrawAccess *a) { timed(original.tool.draw, i, a); };
  t.dirty = [](void *i) { return timed(original.tool.dirty, i); };
  t.count = [](void *i, LWToolEvent *e) { return timed(original.tool.count, i, e); };
  t.handle = [](void *i, LWToolEvent *e, int n, double *p) {
    return timed(original.tool.handle, i, e, n, p);
  };
  t.adjust = [](void *i, LWToolEvent *e, int n) { return timed(original.tool.adjust, i, e, n); };
  t.help = [](void *i, LWToolEvent *e) { return timed(original.tool.help, i, e); };
  b.test = [](void *i) { return timed(original.test, i); };
  b.build = [](void *i, MeshEditOp *op) { return timed(original.build, i, op); };
}

// n points: pair k's handle end at (x, 2, z) over its anchor end at (x, 0, z).
std::string gridMesh(int points) {
  std::string text;
  text.reserve(static_cast<std::size_t>(points) * 16);
  for (int k = 0; 2 * k < points; ++k) {
    const std::string x = std::to_string(k % 300), z = std::to_string(k / 300);
    text += "v " + x + " 2 " + z + "\nv " + x + " 0 " + z + "\n";
  }
  return text;
}

struct Served {
  explicit Served(int points, bool timeTool = true) {
    globals.messages().setEcho(nullptr);
    file = std::make_unique<standin::ObjFile>(standin::ObjFile::parse(gridMesh(points), "grid.obj"));
    standin::SessionSetup setup;
    setup.out = &silent;
    setup.liveViewport = true;
    playground = std::make_unique<standin::Session>(module, globals, *file, setup);
    playground->run(standin::parseCommand("select all"));
    playground->run(standin::parseCommand("pick"));
    playground->beginHistoryHere();
    api = std::make_unique<standin::PlaygroundApi>(*playground);
    version = 1;
    // The scene and the press as the page fetches them (their JSON form at
    // 1M points would take longer than the frames measured).
    api->get("state", standin::AnswerForm::Binary);
    send("press", R"({"position": [0, 2, 0], "handle": 0, "version": 1})", standin::AnswerForm::Binary);
    if (timeTool) timeTheTool(*playground->tool());
  }
  // A drag body for frame i: up and down between y 3 and 3.5.
  static std::string dragBody(std::int64_t i, std::int64_t version, bool ctrl) {
    return "{\"position\": [0, " + standin::formatNumber(3.0 + 0.5 * static_cast<double>(i % 2)) +
           ", 0], \"ctrl\": " + (ctrl ? "true" : "false") + ", \"version\": " + std::to_string(version) + "}";
  }
  std::string send(const char *action, const std::string &body,
                   standin::AnswerForm form = standin::AnswerForm::Json) {
    standin::ApiReply reply = api->post(action, body, form);
    if (reply.status != 200) throw std::runtime_error(reply.body);
    ++version;
    return std::move(reply.body);
  }

  standin::HostGlobals globals;
  standin::LoadedModule module = standin::LoadedModule::linked(&_mod_descrip);
  std::ostream silent{nullptr};
  std::unique_ptr<standin::ObjFile> file;
  std::unique_ptr<standin::Session> playground;
  std::unique_ptr<standin::PlaygroundApi> api;
  std::int64_t version = 0;
};

void report(benchmark::State &st, double bytes) {
  const double frames = static_cast<double>(st.iterations());
  st.counters["module_ms"] = benchmark::Counter(moduleSeconds * 1e3 / frames);
  st.counters["answer_bytes"] = benchmark::Counter(bytes / frames);
}

void dragFrames(benchmark::State &st, bool ctrl, standin::AnswerForm form = standin::AnswerForm::Json) {
  Served s(static_cast<int>(st.range(0)));
  moduleSeconds = 0;
  double bytes = 0;
  std::int64_t i = 0;
  for (auto _ : st) {
    const std::string answer = s.send("drag", Served::dragBody(i++, s.version, ctrl), form);
    bytes += static_cast<double>(answer.size());
  }
  report(st, bytes);
}

void BM_PlaygroundDragFrame(benchmark::State &st) { dragFrames(st, false); }
void BM_PlaygroundDragFrameCtrl(benchmark::State &st) { dragFrames(st, true); }
void BM_PlaygroundDragFrameBinary(benchmark::State &st) { dragFrames(st, false, standin::AnswerForm::Binary); }
void BM_PlaygroundDragFrameCtrlBinary(benchmark::State &st) { dragFrames(st, true, standin::AnswerForm::Binary); }

void BM_PlaygroundDragFrameHttp(benchmark::State &st) {
  Served s(static_cast<int>(st.range(0)));
  // The session was made here; from now on only the server's module thread
  // uses it, as under serve.
  standin::ModuleThread moduleThread;
  standin::PlaygroundServer server(moduleThread, standin::apiHandler(*s.api), {});
  const int port = server.bind();
  std::thread thread([&] { server.run(); });
  httplib::Client client("127.0.0.1", port);
  client.set_keep_alive(true);
  client.set_bearer_token_auth(server.token());
  // The page holds the scene first, so that every frame answers its changes.
  auto state = client.Get("/api/state");
  std::int64_t version = state ? std::stoll(state->body.substr(state->body.rfind("\"version\":") + 10)) : -1;
  moduleSeconds = 0;
  double bytes = 0;
  std::int64_t i = 0;
  for (auto _ : st) {
    auto r = client.Post("/api/drag", Served::dragBody(i++, version, false), "application/json");
    if (!r || r->status != 200) {
      st.SkipWithError("the drag request failed");
      break;
    }
    bytes += static_cast<double>(r->body.size());
    version = std::stoll(r->body.substr(r->body.rfind("\"version\":") + 10));
  }
  report(st, bytes);
  server.stop();
  thread.join();
}

// The floor of a drag frame (see the top).
struct FloorFrame {
  explicit FloorFrame(std::size_t points) : mesh(points) {
    bench::floorActivate(bench::floorGlobal);
    tool.state().factor = 1.5;
    if (tool.build(mesh.op()) != nullptr) throw std::runtime_error("the floor's first build failed");
    mesh.restore();
    const double *h = mesh.record(k).position;
    start = {h[0], h[1], h[2]};
  }
  // Frame i drags the middle pair's handle end up and down, as the playground's frames do.
  std::size_t frame(std::int64_t i, bool ctrl) {
    const bench::Vec q{start.x, start.y + 1.0 + 0.5 * static_cast<double>(i % 2), start.z};
    tool.adjust(static_cast<int>(k), q, ctrl);
    if (tool.test() == LWT_TEST_UPDATE && tool.build(mesh.op()) != nullptr)
      throw std::runtime_error("a floor build failed");
    if (tool.dirty() != 0) tool.draw(sink.access());
    const std::size_t first = ctrl ? 0 : k, end = ctrl ? mesh.size() : k + 2, step = ctrl ? 2 : 1;
    sent.resize((end - first + step - 1) / step * (sizeof(std::uint32_t) + 3 * sizeof(double)));
    char *at = sent.data();
    for (std::size_t p = first; p < end; p += step) {
      const auto index = static_cast<std::uint32_t>(p);
      std::memcpy(at, &index, sizeof index);
      std::memcpy(at + sizeof index, mesh.record(p).position, 3 * sizeof(double));
      at += sizeof index + 3 * sizeof(double);
    }
    return sent.size();
  }

  bench::FloorMesh mesh;
  bench::Tool tool;
  bench::DrawSink sink{false};
  std::size_t k = mesh.size() / 4 * 2;  // the handle end of the middle pair
  bench::Vec start{};
  std::string sent;
};

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n == 0 ? 0 : n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The number of points an answer moved.
double movedIn(const std::string &answer, standin::AnswerForm form) {
  if (form == standin::AnswerForm::Json) return static_cast<double>(nlohmann::json::parse(answer)["moved"].size() / 4);
  std::uint32_t length = 0;
  std::memcpy(&length, answer.data(), sizeof length);
  const auto header = nlohmann::json::parse(answer.substr(sizeof length, length));
  return header["arrays"]["movedIndex"]["count"].get<double>();
}

void BM_PlaygroundVsFloor(benchmark::State &st) {
  const bool ctrl = st.range(1) != 0;
  const auto form = st.range(2) != 0 ? standin::AnswerForm::Binary : standin::AnswerForm::Json;
  Served s(static_cast<int>(st.range(0)), false);
  FloorFrame floor(static_cast<std::size_t>(st.range(0)));
  std::vector<double> server, floorTimes;
  double bytes = 0, floorBytes = 0, moved = 0;
  std::int64_t i = 0;
  for (auto _ : st) {
    // Alternating which goes first, so that neither always finds the caches as the other left them.
    for (int part = 0; part < 2; ++part) {
      const double start = bench::benchClock();
      if ((part == 0) == (i % 2 == 0)) {
        const std::string answer = s.send("drag", Served::dragBody(i, s.version, ctrl), form);
        server.push_back(bench::benchClock() - start);
        bytes += static_cast<double>(answer.size());
        moved += movedIn(answer, form);
      } else {
        floorBytes += static_cast<double>(floor.frame(i, ctrl));
        floorTimes.push_back(bench::benchClock() - start);
      }
    }
    ++i;
  }
  const double frames = static_cast<double>(st.iterations());
  st.counters["server_ms"] = median(server) * 1e3;
  st.counters["floor_ms"] = median(floorTimes) * 1e3;
  st.counters["ratio"] = median(server) / median(floorTimes);
  st.counters["answer_bytes"] = bytes / frames;
  st.counters["floor_bytes"] = floorBytes / frames;
  st.counters["moved_points"] = moved / frames;
  st.counters["bytes_ratio"] = moved > 0 ? bytes / (24 * moved) : 0;
}

}  // namespace

BENCHMARK(BM_PlaygroundVsFloor)
    ->ArgNames({"points", "ctrl", "binary"})
    ->Args({100000, 0, 1})
    ->Args({1000000, 0, 1})
    ->Args({100000, 1, 1})
    ->Args({1000000, 1, 1})
    ->Args({100000, 0, 0})
    ->Args({1000000, 0, 0})
    ->Args({100000, 1, 0})
    ->Iterations(9)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlaygroundDragFrame)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlaygroundDragFrameCtrl)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlaygroundDragFrameBinary)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlaygroundDragFrameCtrlBinary)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlaygroundDragFrameHttp)->Arg(100000)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv) {
  bench::loadModule(EP_BENCH_MODULE_FILE);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
