#include "bench/floor_host.h"

#include <bit>
#include <cstring>

namespace bench {
namespace {

CallCounts callCounts;

void count(Call c) { ++callCounts[c]; }

constexpr const char *kCallNames[kCallKinds] = {
    "pointCount",     "pointScan",    "pointInfo",    "pntMove",      "done",
    "monitor create", "monitor init", "monitor step", "monitor done", "monitor destroy",
    "message box",    "moveTo",       "lineTo",       "spline",       "circle",
};

// ---- Services -----------------------------------------------------------------

// Calls are counted only while the checking variant runs (checking = true):
// the timed runs pay for the host's work alone.
bool checking = false;

void countChecked(Call c) {
  if (checking) count(c);
}

void monitorInit(void *, unsigned) { countChecked(Call::MonitorInit); }
int monitorStep(void *, unsigned) { return 0; }
int checkedMonitorStep(void *, unsigned) {
  count(Call::MonitorStep);
  return 0;
}
void monitorDone(void *) { countChecked(Call::MonitorDone); }

LWMonitor monitor = {nullptr, monitorInit, monitorStep, monitorDone};

LWMonitor *monitorCreate(const char *, const char *) {
  countChecked(Call::MonitorCreate);
  monitor.step = checking ? checkedMonitorStep : monitorStep;
  return &monitor;
}
void monitorDestroy(LWMonitor *) { countChecked(Call::MonitorDestroy); }

LWMonitorFuncs monitorFuncs = {monitorCreate, monitorDestroy};

void messageBox(const char *, const char *) { count(Call::MessageBox); }
LWMessageFuncs messageFuncs = {messageBox, messageBox, messageBox};

LWXPanelFuncs panelFuncs{};

// ---- The mesh-edit operation ----------------------------------------------------

FloorMesh &meshOf(void *state) { return *static_cast<FloorMesh *>(state); }

int pointCount(void *state, int, int mode) {
  countChecked(Call::PointCount);
  const FloorMesh &mesh = meshOf(state);
  return mode == EDCOUNT_SELECT ? mesh.selected() : static_cast<int>(mesh.size());
}

int pointScan(void *state, EDPointScanFunc scan, void *userData, int) {
  countChecked(Call::PointScan);
  FloorMesh &mesh = meshOf(state);
  for (std::size_t i = 0, n = mesh.size(); i < n; ++i)
    if (int rc = scan(userData, &mesh.record(i)); rc != 0) return rc;
  return 0;
}

EDPointInfo *pointInfo(void *, LWPntID point) { return static_cast<EDPointInfo *>(point); }

int pntMove(void *, LWPntID point, const LWDVector pos) {
  double *to = static_cast<EDPointInfo *>(point)->position;
  to[0] = pos[0];
  to[1] = pos[1];
  to[2] = pos[2];
  return 0;
}

void opDone(void *, int, int) { countChecked(Call::OpDone); }

// The checked operation: the same, and each call folded into the sequence.
std::uint64_t indexOf(FloorMesh &mesh, LWPntID point) {
  return static_cast<std::uint64_t>(static_cast<EDPointInfo *>(point) - &mesh.record(0));
}

int checkedPointCount(void *state, int layer, int mode) {
  meshOf(state).fold(static_cast<std::uint64_t>(Call::PointCount) << 32 | static_cast<std::uint32_t>(mode));
  meshOf(state).fold(static_cast<std::uint32_t>(layer));
  return pointCount(state, layer, mode);
}

int checkedPointScan(void *state, EDPointScanFunc scan, void *userData, int layer) {
  meshOf(state).fold(static_cast<std::uint64_t>(Call::PointScan) << 32 | static_cast<std::uint32_t>(layer));
  return pointScan(state, scan, userData, layer);
}

EDPointInfo *checkedPointInfo(void *state, LWPntID point) {
  FloorMesh &mesh = meshOf(state);
  mesh.fold(static_cast<std::uint64_t>(Call::PointInfo) << 32 | indexOf(mesh, point));
  count(Call::PointInfo);
  return pointInfo(state, point);
}

int checkedPntMove(void *state, LWPntID point, const LWDVector pos) {
  FloorMesh &mesh = meshOf(state);
  mesh.fold(static_cast<std::uint64_t>(Call::PntMove) << 32 | indexOf(mesh, point));
  for (int i = 0; i < 3; ++i) mesh.fold(std::bit_cast<std::uint64_t>(pos[i]));
  count(Call::PntMove);
  return pntMove(state, point, pos);
}

void checkedOpDone(void *state, int error, int selm) {
  meshOf(state).fold(static_cast<std::uint64_t>(Call::OpDone) << 32 | static_cast<std::uint32_t>(error));
  meshOf(state).fold(static_cast<std::uint32_t>(selm));
  opDone(state, error, selm);
}

// Reproducible coordinates in [-100, 100).
struct Coordinates {
  std::uint64_t seed = 0x9e3779b97f4a7c15u;
  double next() {
    std::uint64_t z = (seed += 0x9e3779b97f4a7c15u);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) * 0x1p-53 * 200.0 - 100.0;
  }
};

// ---- Drawing ---------------------------------------------------------------------

DrawSink &sinkOf(void *data) { return *static_cast<DrawSink *>(data); }

void foldPoint(DrawSink &sink, Call kind, const LWFVector pos, int mode) {
  sink.fold(static_cast<std::uint64_t>(kind) << 32 | static_cast<std::uint32_t>(mode));
  sink.fold(std::uint64_t{std::bit_cast<std::uint32_t>(pos[0])} << 32 | std::bit_cast<std::uint32_t>(pos[1]));
  sink.fold(std::bit_cast<std::uint32_t>(pos[2]));
}

// The timed sink takes the calls and does nothing with them.
void moveTo(void *, const LWFVector, int) {}
void lineTo(void *, const LWFVector, int) {}
void spline(void *, const LWFVector, int) {}
void circle(void *, double, int) {}

void checkedMoveTo(void *data, const LWFVector pos, int style) {
  foldPoint(sinkOf(data), Call::MoveTo, pos, style);
  count(Call::MoveTo);
}
void checkedLineTo(void *data, const LWFVector pos, int mode) {
  foldPoint(sinkOf(data), Call::LineTo, pos, mode);
  count(Call::LineTo);
}
void checkedSpline(void *data, const LWFVector pos, int mode) {
  foldPoint(sinkOf(data), Call::Spline, pos, mode);
  count(Call::Spline);
}
void checkedCircle(void *data, double radius, int mode) {
  sinkOf(data).fold(static_cast<std::uint64_t>(Call::Circle) << 32 | static_cast<std::uint32_t>(mode));
  sinkOf(data).fold(std::bit_cast<std::uint64_t>(radius));
  count(Call::Circle);
}

}  // namespace

std::string describe(const CallCounts &counts) {
  std::string out;
  for (std::size_t i = 0; i < kCallKinds; ++i) {
    if (counts.n[i] == 0) continue;
    if (!out.empty()) out += ", ";
    out += kCallNames[i];
    out += ' ';
    out += std::to_string(counts.n[i]);
  }
  return out.empty() ? "no calls" : out;
}

CallCounts &counts() { return callCounts; }

void setChecking(bool on) { checking = on; }

void *floorGlobal(const char *name, int) {
  if (std::strcmp(name, LWMONITORFUNCS_GLOBAL) == 0) return &monitorFuncs;
  if (std::strcmp(name, LWMESSAGEFUNCS_GLOBAL) == 0) return &messageFuncs;
  if (std::strcmp(name, LWXPANELFUNCS_GLOBAL) == 0) return &panelFuncs;
  return nullptr;
}

FloorMesh::FloorMesh(std::size_t points) : records_(points) {
  Coordinates random;
  for (std::size_t i = 0; i < points; ++i) {
    EDPointInfo &r = records_[i];
    r.pnt = &r;
    r.flags = EDPF_SELECT;
    // A handle end (even index) at least 0.5 from its anchor end in x.
    for (double &c : r.position) c = random.next();
    if (i % 2 == 1)
      r.position[0] = records_[i - 1].position[0] + (r.position[0] < 0 ? -0.5 : 0.5) + r.position[0] / 20;
  }
  selected_ = static_cast<int>(points);
  start_ = records_;
  plainOp_ = {this, opDone, pointCount, pointScan, pointInfo, pntMove};
  checkedOp_ = {this, checkedOpDone, checkedPointCount, checkedPointScan, checkedPointInfo, checkedPntMove};
}

void FloorMesh::restore() {
  std::memcpy(records_.data(), start_.data(), records_.size() * sizeof(EDPointInfo));
}

std::vector<double> FloorMesh::positions() const {
  std::vector<double> out;
  out.reserve(3 * records_.size());
  for (const EDPointInfo &r : records_) out.insert(out.end(), r.position, r.position + 3);
  return out;
}

bool sameBits(const std::vector<double> &a, const std::vector<double> &b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

void FloorMesh::fold(std::uint64_t word) { sequence_ = (sequence_ ^ word) * 0x100000001b3u; }

DrawSink::DrawSink(bool checked) {
  if (checked)
    access_ = {this, checkedMoveTo, checkedLineTo, checkedSpline, checkedCircle};
  else
    access_ = {this, moveTo, lineTo, spline, circle};
}

void DrawSink::fold(std::uint64_t word) { sequence_ = (sequence_ ^ word) * 0x100000001b3u; }

}  // namespace bench
