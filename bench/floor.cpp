#include "bench/floor.h"

#include <cmath>

namespace bench {
namespace {

LWMonitorFuncs *monitorService = nullptr;

constexpr double kHandleLength = 3.0;

bool nearZero(double v) { return v > -1e-14 && v < 1e-14; }
bool factorApplies(double f) { return f <= 0.99999999999999 || f >= 1.0000000000001; }

Vec sub(const Vec &a, const Vec &b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
double length(const Vec &v) { return std::sqrt((v.x * v.x + v.y * v.y) + v.z * v.z); }
Vec divide(const Vec &v, double l) { return {v.x / l, v.y / l, v.z / l}; }
Vec scale(const Vec &v, double s) { return {s * v.x, s * v.y, s * v.z}; }
// a + f * (L * u), in that order.
Vec place(const Vec &a, double f, double L, const Vec &u) {
  return {a.x + f * (L * u.x), a.y + f * (L * u.y), a.z + f * (L * u.z)};
}

Vec read(MeshEditOp *op, LWPntID id) {
  const EDPointInfo *r = op->pointInfo(op->state, id);
  return {r->position[0], r->position[1], r->position[2]};
}

void move(MeshEditOp *op, LWPntID id, const Vec &p) {
  const LWDVector xyz = {p.x, p.y, p.z};
  op->pntMove(op->state, id, xyz);
}

struct Scan {
  FloorState *s;
  LWMonitor *monitor;
};

int collect(void *userData, const EDPointInfo *info) {
  auto &scan = *static_cast<Scan *>(userData);
  if (scan.monitor != nullptr && scan.monitor->step(scan.monitor->data, 1) != 0) return EDERR_USERABORT;
  if ((info->flags & EDPF_SELECT) == 0) return 0;
  FloorState &s = *scan.s;
  if (s.scanned < s.points) s.ids[s.scanned] = info->pnt;
  ++s.scanned;
  return 0;
}

// Count, monitor and scan; the selected count, made even.
int countAndScan(MeshEditOp *op, FloorState &s, LWMonitor *&monitor, bool allocate) {
  int n = op->pointCount(op->state, OPLYR_PRIMARY, EDCOUNT_SELECT);
  n -= n % 2;
  if (allocate) {
    s.points = n;
    s.ids.reset(new LWPntID[static_cast<std::size_t>(n)]);
    s.positions.reset(new Vec[static_cast<std::size_t>(n)]);
    s.handleVectors.reset(new Vec[static_cast<std::size_t>(n / 2)]);
  }
  monitor = monitorService->create("Elastic_Pull", "Tasking...");
  if (monitor != nullptr) monitor->init(monitor->data, 2u * static_cast<unsigned>(n));
  s.scanned = 0;
  Scan scan{&s, monitor};
  op->pointScan(op->state, collect, &scan, OPLYR_PRIMARY);
  return n;
}

void finish(MeshEditOp *op, LWMonitor *monitor) {
  op->done(op->state, EDERR_NONE, 0);
  if (monitor == nullptr) return;
  monitor->done(monitor->data);
  monitorService->destroy(monitor);
}

bool aborts(LWMonitor *monitor) { return monitor != nullptr && monitor->step(monitor->data, 1) != 0; }

// h - f * (L * u), in that order: the anchor end under Symmetry.
Vec placeOpposite(const Vec &h, double f, double L, const Vec &u) {
  return {h.x - f * (L * u.x), h.y - f * (L * u.y), h.z - f * (L * u.z)};
}

// Pair i's handle end 2i placed at f times its length from the anchor end
// 2i+1 (or left where it is when f is inside the unchanged window); with
// Symmetry the anchor end moves the opposite way. Inlined into its loops, as
// the tool's pair stretch is: a call a pair would put the floor above what
// plain code costs.
[[gnu::always_inline]] inline void stretch(MeshEditOp *op, FloorState &s, int i, double f, bool symmetric) {
  const int H = 2 * i, A = 2 * i + 1;
  const Vec a = read(op, s.ids[A]);
  const Vec h = read(op, s.ids[H]);
  const Vec d = sub(h, a);
  if (nearZero(d.x) && nearZero(d.y) && nearZero(d.z)) {
    s.positions[A] = a;
    s.positions[H] = h;
    s.handleVectors[i] = {0.0, 0.0, 0.0};
    return;
  }
  const double L = length(d);
  const Vec u = divide(d, L);
  const bool applies = factorApplies(f);
  s.positions[H] = applies ? place(a, f, L, u) : h;
  s.positions[A] = applies && symmetric ? placeOpposite(h, f, L, u) : a;
  s.handleVectors[i] = scale(u, kHandleLength);
  move(op, s.ids[H], s.positions[H]);
  if (symmetric) move(op, s.ids[A], s.positions[A]);
}

void readBack(MeshEditOp *op, FloorState &s, int skip) {
  for (int j = 0; j < s.points; ++j)
    if (j != skip) s.positions[j] = read(op, s.ids[j]);
}

}  // namespace

void floorActivate(LWGlobalFunc global) {
  monitorService = static_cast<LWMonitorFuncs *>(global(LWMONITORFUNCS_GLOBAL, 0));
}

void floorFirstBuild(MeshEditOp *op, FloorState &s, double factor, bool symmetric) {
  LWMonitor *monitor = nullptr;
  const int n = countAndScan(op, s, monitor, true);
  for (int i = 0; i < n / 2; ++i) stretch(op, s, i, factor, symmetric);
  readBack(op, s, -1);
  finish(op, monitor);
}

void floorRecompute(MeshEditOp *op, FloorState &s, double factor, bool symmetric) {
  LWMonitor *monitor = nullptr;
  const int n = countAndScan(op, s, monitor, false);
  for (int i = 0; i < n / 2; ++i) {
    if (aborts(monitor)) break;
    stretch(op, s, i, factor, symmetric);
  }
  finish(op, monitor);
}

double floorDragBuild(MeshEditOp *op, FloorState &s, int k, const Vec &q, bool ctrl, bool symmetric) {
  LWMonitor *monitor = nullptr;
  const int n = countAndScan(op, s, monitor, false);
  if (!ctrl) readBack(op, s, k);
  const int p = k / 2, B = k ^ 1;
  const Vec b = read(op, s.ids[B]);
  const Vec c = read(op, s.ids[k]);
  const Vec d = sub(c, b);
  const double L = length(d);
  const Vec u = divide(d, L);
  const Vec e = sub(q, b);
  double factor = 0.0;
  if (!(nearZero(e.x) && nearZero(e.y) && nearZero(e.z))) {
    const double M = length(e);
    const Vec v = divide(e, M);
    factor = M * ((u.x * v.x + u.y * v.y) + u.z * v.z) / L;
  }
  const bool applies = factorApplies(factor);
  s.positions[k] = applies ? place(b, factor, L, u) : c;
  s.positions[B] = applies && symmetric ? placeOpposite(c, factor, L, u) : b;
  s.handleVectors[p] = scale(u, kHandleLength);
  move(op, s.ids[k], s.positions[k]);
  if (symmetric) move(op, s.ids[B], s.positions[B]);
  if (ctrl) {
    for (int j = 0; j < n / 2; ++j) {
      if (aborts(monitor)) break;
      if (j != p) stretch(op, s, j, factor, symmetric);
    }
  }
  finish(op, monitor);
  return factor;
}

void floorDraw(LWWireDrawAccess *access, const Vec *positions, const Vec *handleVectors, int pairs) {
  void *data = access->data;
  for (int k = 0; k < pairs; ++k) {
    const Vec &h = positions[2 * k], &a = positions[2 * k + 1], &v = handleVectors[k];
    const LWFVector H = {static_cast<float>(h.x), static_cast<float>(h.y), static_cast<float>(h.z)};
    const LWFVector A = {static_cast<float>(a.x), static_cast<float>(a.y), static_cast<float>(a.z)};
    const LWFVector V = {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
    const LWFVector minusV = {static_cast<float>(0.0 - v.x), static_cast<float>(0.0 - v.y),
                              static_cast<float>(0.0 - v.z)};
    access->moveTo(data, H, LWWIRE_SOLID);
    access->lineTo(data, A, LWCSYS_WORLD);
    access->moveTo(data, H, LWWIRE_DASH);
    access->lineTo(data, V, LWCSYS_RELATIVE);
    access->moveTo(data, H, LWWIRE_DASH);
    access->lineTo(data, minusV, LWCSYS_RELATIVE);
    access->moveTo(data, A, LWWIRE_DASH);
    access->lineTo(data, V, LWCSYS_RELATIVE);
    access->moveTo(data, A, LWWIRE_DASH);
    access->lineTo(data, minusV, LWCSYS_RELATIVE);
    access->moveTo(data, H, LWWIRE_SOLID);
    access->circle(data, 0.5, LWCSYS_RELATIVE);
  }
}

}  // namespace bench
