#include "fuzz/conversation/stretch_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace fuzz {
namespace {

// The interface's codes, as the host knows them.
constexpr int kCtrl = 1;         // event flags bit 0
constexpr int kRightButton = 8;  // event flags bit 3
constexpr int kTestNothing = 0, kTestUpdate = 1, kTestReject = 3, kTestClone = 4;
constexpr int kEventDrop = 0, kEventReset = 1, kEventActivate = 2;
constexpr int kSetRedraw = 2;
constexpr std::uintptr_t kActive = 0x8001, kMode = 0x8002, kFactor = 0x8003, kOffset = 0x8004,
                         kSymmetry = 0x8005;
constexpr int kCallsPerPair = 12;  // a line, four end marks, a circle: six moves and six draws

// The tool's numbers.
constexpr double kZero = 1e-14;
constexpr double kWindowLow = 0.99999999999999, kWindowHigh = 1.0000000000001;
constexpr int kFail = 4;

// The boxes' titles.
const char *const kNoData = "Active layers contain no data for operation.";
const char *const kScanFailed = "Error (Code #001)";
const char *const kNoMemory = "Error (Code #010)";
const char *const kSelectionChanged = "Error (Code #015)";
const char *const kMoveHandleEnd = "Error (Code #017)";
const char *const kMoveAnchorEnd = "Error (Code #018)";
const char *const kDragZeroLength = "Error (Code #019)";
const char *const kDragPoint = "Error (Code #020)";
const char *const kDragPartner = "Error (Code #021)";
const char *const kCarryHandle = "Error (Code #022)";
const char *const kCarryAnchor = "Error (Code #023)";
const char *const kOutOfRange = "Error (Code #024)";

using V = ModelVec;

V sub(const V &a, const V &b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V add(const V &a, const V &b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V scale(const V &v, double s) { return {s * v.x, s * v.y, s * v.z}; }
double dot(const V &a, const V &b) { return (a.x * b.x + a.y * b.y) + a.z * b.z; }
double squares(const V &v) { return (v.x * v.x + v.y * v.y) + v.z * v.z; }
bool finite(const V &v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
bool nearZero(double v) { return v > -kZero && v < kZero; }
bool degenerate(const V &v) { return nearZero(v.x) && nearZero(v.y) && nearZero(v.z); }

// The power of two that brings the largest component of a finite, non-zero
// v to [0.5, 1): scaling by it is exact, and the squares are then far from
// both ends of the exponent range.
int exponentOf(const V &v) {
  int e = 0;
  std::frexp(std::fmax(std::fabs(v.x), std::fmax(std::fabs(v.y), std::fabs(v.z))), &e);
  return e;
}
V scaledBy(const V &v, int e) { return {std::ldexp(v.x, e), std::ldexp(v.y, e), std::ldexp(v.z, e)}; }

double length(const V &v) {
  if (!finite(v) || (v.x == 0 && v.y == 0 && v.z == 0)) return std::sqrt(squares(v));
  const int e = exponentOf(v);
  return std::ldexp(std::sqrt(squares(scaledBy(v, -e))), e);
}

// v / L, L its length; a finite v whose length is past the largest double is
// divided as a wider exponent range would divide it.
V unit(const V &v, double L) {
  if (std::isinf(L) && finite(v)) {
    const V s = scaledBy(v, -exponentOf(v));
    const double Ls = std::sqrt(squares(s));
    return {s.x / Ls, s.y / Ls, s.z / Ls};
  }
  return {v.x / L, v.y / L, v.z / L};
}

bool factorApplies(double f) { return f <= kWindowLow || f >= kWindowHigh; }
bool offsetApplies(double o) { return o <= -kZero || o >= kZero; }

}  // namespace

// One build pass of one instance against the host's side of the build.
class ModelPass {
 public:
  using Instance = StretchModel::Instance;
  ModelPass(Instance &s, const ModelBuildHost &host, ModelBuild &out)
      : s_(s), host_(host), out_(out), staged_(host.points.size()) {}

  int run();

 private:
  int scan(int n);
  int dispatch();
  int stretchPair(int i);
  int solveDrag();
  int solveZeroLength(int k, int p, const V &b, const V &c);
  bool refresh(int skip);

  int handleEnd(int pair) const {
    return 2 * pair + (s_.inverted[static_cast<std::size_t>(pair)] != 0 ? 1 : 0);
  }
  int anchorEnd(int pair) const {
    return 2 * pair + (s_.inverted[static_cast<std::size_t>(pair)] == 0 ? 1 : 0);
  }
  V &position(int point) { return s_.positions[static_cast<std::size_t>(point)]; }
  std::size_t meshIndex(int point) const { return s_.pointIds[static_cast<std::size_t>(point)]; }

  void box(const char *title) { out_.boxes.emplace_back(title); }
  // The first way a pass takes is its way (a reset step's read-back stays a reset).
  void path(ModelPath way) {
    if (!pathSet_) out_.path = way;
    pathSet_ = true;
  }
  // The position of a point of the edit as pointInfo answers it, or false
  // (after the box) when the host answers NULL.
  bool read(int point, V &out);
  int move(int point, const V &to);
  bool monitorAborts();
  // Where the handle end `h` and the anchor end `a` of a pair go under the
  // current mode and value (both unchanged when neither applies).
  void place(const V &a, const V &h, double L, const V &u, V &newHandle, V &newAnchor) const;

  Instance &s_;
  const ModelBuildHost &host_;
  ModelBuild &out_;
  std::vector<std::optional<V>> staged_;
  unsigned steps_ = 0;
  bool pathSet_ = false;
};

bool ModelPass::read(int point, V &out) {
  const std::size_t index = meshIndex(point);
  if (host_.nullInfoAll || host_.nullInfoPoint == index) {
    box(kScanFailed);
    return false;
  }
  out = staged_[index] ? *staged_[index] : host_.points[index].position;
  return true;
}

int ModelPass::move(int point, const V &to) {
  const std::size_t index = meshIndex(point);
  const int result = host_.failMovePoint == index ? host_.moveFailCode : 0;
  if (result == 0) staged_[index] = to;
  out_.moves.push_back(ModelMove{host_.points[index].id, to, result});
  return result;
}

bool ModelPass::monitorAborts() {
  if (!host_.monitor) return false;
  ++steps_;
  return host_.abortAtStep && steps_ >= *host_.abortAtStep;
}

void ModelPass::place(const V &a, const V &h, double L, const V &u, V &newHandle, V &newAnchor) const {
  newHandle = h;
  newAnchor = a;
  const StretchModel::Settings &v = s_.values;
  V along;
  if (v.mode == 0 && factorApplies(v.factor))
    along = scale(scale(u, L), v.factor);
  else if (v.mode == 1 && offsetApplies(v.offset))
    along = scale(u, L + v.offset);
  else
    return;
  newHandle = add(a, along);
  if (v.symmetry == 1) newAnchor = sub(h, along);
}

int ModelPass::run() {
  int selected = 0;
  for (const ModelBuildHost::Point &p : host_.points) selected += p.selected ? 1 : 0;
  int n = selected + host_.countError;
  if (n < 2) {
    path(ModelPath::Refused);
    box(kNoData);
    return kFail;
  }
  if (n % 2 != 0) n -= 1;
  if (s_.pointCount != 0 && s_.pointCount != n) {
    path(ModelPath::Refused);
    box(kSelectionChanged);
    return 0;
  }
  s_.pointCount = n;
  if (!s_.buffers) {
    if (host_.memoryBoxShown && host_.allocationMayFail) {
      path(ModelPath::Refused);
      box(kNoMemory);
      return 0;
    }
    // New buffers read as zero until a pass writes them.
    const auto count = static_cast<std::size_t>(n);
    s_.positions.assign(count, V{});
    s_.pointIds.assign(count, 0);
    s_.inverted.assign(count / 2, 0);
    s_.buffers = true;
  }
  if (const int rc = scan(n); rc != 0) return rc;
  if (dispatch() != 0) return kFail;
  out_.done = true;
  return 0;
}

int ModelPass::scan(int n) {
  std::size_t selected = 0;
  for (const ModelBuildHost::Point &p : host_.points) selected += p.selected ? 1 : 0;
  const std::size_t delivered = selected - std::min(selected, host_.scanWithholdSelected);
  std::size_t selectedSeen = 0;
  int scanCount = 0;
  for (std::size_t i = 0; i < host_.points.size(); ++i) {
    const bool isSelected = host_.points[i].selected;
    if (isSelected && selectedSeen++ >= delivered) continue;
    if (monitorAborts()) {  // the scan's callback stops the scan
      path(ModelPath::ScanFailed);
      box(kScanFailed);
      return kFail;
    }
    if (!isSelected) continue;
    if (scanCount < n) s_.pointIds[static_cast<std::size_t>(scanCount)] = i;
    ++scanCount;
  }
  if (scanCount < n) {  // the host delivered fewer than it counted
    path(ModelPath::ScanFailed);
    box(kScanFailed);
    return kFail;
  }
  return 0;
}

int ModelPass::dispatch() {
  const int pairs = s_.pointCount / 2;
  if (s_.updateAll == 1) {
    path(ModelPath::Recompute);
    for (int i = 0; i < pairs; ++i) {
      if (monitorAborts() || stretchPair(i) != 0) return kFail;
    }
    return 0;
  }
  if (s_.updateAll == 0 && s_.activeHandle == -1) {
    path(ModelPath::Reset);
    for (int i = 0; i < pairs; ++i) {
      s_.inverted[static_cast<std::size_t>(i)] = 0;
      if (stretchPair(i) != 0) return kFail;
    }
  }
  return solveDrag();
}

int ModelPass::stretchPair(int i) {
  const int H = handleEnd(i), A = anchorEnd(i);
  V a, h;
  if (!read(A, a) || !read(H, h)) return kFail;
  const V d = sub(h, a);
  if (degenerate(d)) {
    position(H) = h;
    position(A) = a;
    return 0;
  }
  const double L = length(d);
  const V u = unit(d, L);
  V newHandle, newAnchor;
  place(a, h, L, u, newHandle, newAnchor);
  if (!finite(newHandle) || !finite(newAnchor)) {
    // The pair stays. Read at finite places, it would leave the range of a
    // double: the out-of-range box ends the pass. An end at a non-finite
    // place gives the pair no line: it is passed over.
    position(H) = h;
    position(A) = a;
    if (finite(a) && finite(h)) {
      box(kOutOfRange);
      return kFail;
    }
    return 0;
  }
  position(H) = newHandle;
  position(A) = newAnchor;
  if (const int rc = move(H, newHandle); rc != 0) {
    box(kMoveHandleEnd);
    return rc;
  }
  if (s_.values.symmetry == 1) {
    if (const int rc = move(A, newAnchor); rc != 0) {
      box(kMoveAnchorEnd);
      return rc;
    }
  }
  return 0;
}

bool ModelPass::refresh(int skip) {
  for (int j = 0; j < s_.pointCount; ++j) {
    if (j != skip && !read(j, position(j))) return false;
  }
  return true;
}

int ModelPass::solveDrag() {
  const int k = s_.activeHandle, n = s_.pointCount;
  if (k < 0 || k >= n) {
    path(ModelPath::ReadBack);
    return refresh(-1) ? 0 : kFail;
  }
  if (s_.allHandles == 0 && !refresh(k)) return kFail;
  const int p = k / 2;
  const int B = k % 2 == 1 ? k - 1 : k + 1;
  V b, c;
  if (!read(B, b) || !read(k, c)) return kFail;
  const V q = position(k);
  // No place to drag to, or no line to drag along: nothing moves, no value
  // changes, and every point is read back.
  if (!finite(q) || !finite(b) || !finite(c)) {
    path(ModelPath::NoPlaceToGo);
    return refresh(-1) ? 0 : kFail;
  }

  const V d = sub(c, b);
  if (degenerate(d)) {
    path(s_.allHandles == 1 ? ModelPath::ZeroLengthCtrl : ModelPath::ZeroLength);
    return solveZeroLength(k, p, b, c);
  }
  path(s_.allHandles == 1 ? ModelPath::CtrlDrag : ModelPath::Drag);
  const double L = length(d);
  const V u = unit(d, L);

  StretchModel::Settings &v = s_.values;
  const StretchModel::Settings before = v;
  const V e = sub(q, b);
  if (degenerate(e)) {
    if (v.mode == 0) v.factor = 0.0;
    if (v.mode == 1) v.offset = 0 - L;
  } else {
    const double M = length(e);
    const double s = M * dot(u, unit(e, M));
    if (v.mode == 0) v.factor = s / L;
    if (v.mode == 1) v.offset = s - L;
  }
  V newHandle, newAnchor;
  place(b, c, L, u, newHandle, newAnchor);
  const double solved = v.mode == 0 ? v.factor : v.mode == 1 ? v.offset : 0.0;
  if (!std::isfinite(solved) || !finite(newHandle) || !finite(newAnchor)) {
    v.factor = before.factor;  // no finite answer: the value and the pair stay
    v.offset = before.offset;
    position(k) = c;
    position(B) = b;
    box(kOutOfRange);
    return kFail;
  }
  position(k) = newHandle;
  position(B) = newAnchor;
  if (const int rc = move(k, newHandle); rc != 0) {
    box(kDragPoint);
    return rc;
  }
  if (v.symmetry == 1) {
    if (const int rc = move(B, newAnchor); rc != 0) {
      box(kDragPartner);
      return rc;
    }
  }
  if (s_.allHandles == 1) {
    for (int j = 0; j < n / 2; ++j) {
      if (monitorAborts()) return kFail;
      if (j != p && stretchPair(j) != 0) return kFail;
    }
  }
  return 0;
}

// The dragged pair's ends coincide: the drag gives the direction.
int ModelPass::solveZeroLength(int k, int p, const V &b, const V &c) {
  const V q = position(k);
  const V w = sub(q, b);
  if (!finite(w)) {
    position(k) = c;
    box(kOutOfRange);
    return kFail;
  }
  if (degenerate(w)) return 0;
  const double L = length(w);
  const V u = unit(w, L);
  s_.values.factor = 1.0;
  s_.values.offset = 0.0;
  if (const int rc = move(k, q); rc != 0) {
    box(kDragZeroLength);
    return rc;
  }
  if (s_.allHandles != 1) return 0;
  const V carry = scale(u, L);
  for (int j = 0; j < s_.pointCount / 2; ++j) {
    if (monitorAborts()) return kFail;
    if (j == p) continue;
    const int H = handleEnd(j), A = anchorEnd(j);
    V h;
    if (!read(A, position(A)) || !read(H, h)) return kFail;
    if (!finite(h) || !finite(position(A))) {  // passed over, as a stretch passes it over
      position(H) = h;
      continue;
    }
    position(H) = add(h, carry);
    if (!finite(position(H))) {
      position(H) = h;
      box(kOutOfRange);
      return kFail;
    }
    if (const int rc = move(H, position(H)); rc != 0) {
      box(kCarryHandle);
      return rc;
    }
    if (const int rc = move(A, position(A)); rc != 0) {
      box(kCarryAnchor);
      return rc;
    }
  }
  return 0;
}

// ---- The callbacks ----------------------------------------------------------

StretchModel::Instance &StretchModel::at(int slot) {
  std::optional<Instance> &instance = instances_[static_cast<std::size_t>(slot)];
  if (!instance) {
    std::fprintf(stderr, "stretch model: slot %d has no instance\n", slot);
    std::abort();
  }
  return *instance;
}

const StretchModel::Instance &StretchModel::at(int slot) const {
  return const_cast<StretchModel *>(this)->at(slot);
}

void StretchModel::activated(int slot) {
  Instance fresh;
  fresh.values = remembered_;
  instances_[static_cast<std::size_t>(slot)] = fresh;
  newest_ = slot;
}

void StretchModel::done(int slot) {
  at(slot);
  instances_[static_cast<std::size_t>(slot)].reset();
  remembered_ = Settings{};
  if (newest_ == slot) newest_ = -1;
}

int StretchModel::test(int slot) const { return at(slot).testResult; }
int StretchModel::dirty(int slot) const { return at(slot).drawState == 1 ? 3 : 0; }

int StretchModel::count(int slot) const {
  const Instance &s = at(slot);
  return s.active != 0 && s.buffers ? s.pointCount : 0;
}

int StretchModel::handle(int slot, int index, ModelVec &position) const {
  const Instance &s = at(slot);
  if (index < 0 || index >= s.pointCount || !s.buffers) return 0;
  position = s.positions[static_cast<std::size_t>(index)];
  return index + 1;
}

// A press that takes no handle drags the handle end nearest to it, measured
// in the view's plane (an orthographic view, portAxis 0 to 2, leaves its own
// axis out); a tie goes to the lower pair.
int StretchModel::start(int slot, const ModelVec &press, int portAxis) {
  Instance &s = at(slot);
  if (s.active == 0) s.active = 1;
  if (s.pointCount < 2 || !s.buffers) return 1;
  const auto handleEnd = [&](int pair) {
    return 2 * pair + (s.inverted[static_cast<std::size_t>(pair)] != 0 ? 1 : 0);
  };
  int nearest = handleEnd(0);
  double nearestDistance = HUGE_VAL;
  for (int pair = 0; pair < s.pointCount / 2; ++pair) {
    const int end = handleEnd(pair);
    V d = sub(s.positions[static_cast<std::size_t>(end)], press);
    if (portAxis == 0) d.x = 0.0;
    if (portAxis == 1) d.y = 0.0;
    if (portAxis == 2) d.z = 0.0;
    const double distance = length(d);
    if (distance < nearestDistance) {
      nearest = end;
      nearestDistance = distance;
    }
  }
  return nearest;
}

void StretchModel::adjust(int slot, int index, int flags, const ModelVec &posRaw) {
  Instance &s = at(slot);
  s.updateAll = 0;
  s.activeHandle = index;
  s.allHandles = (flags & kCtrl) != 0 ? 1 : 0;
  if (index < 0 || index >= s.pointCount || !s.buffers) return;
  const auto pair = static_cast<std::size_t>(index / 2);
  const int end = index % 2;
  s.drawState = 1;
  if ((end == 1) == (s.inverted[pair] != 0)) {  // the handle end: the drag target
    s.positions[static_cast<std::size_t>(index)] = posRaw;
    s.testResult = kTestUpdate;
  } else {  // the anchor end becomes the handle end
    s.inverted[pair] = end;
    s.testResult = kTestNothing;
  }
}

int StretchModel::down(int slot, int flags) {
  Instance &s = at(slot);
  if ((flags & kRightButton) != 0) {
    s.testResult = kTestClone;
    // A pending recompute with no handle keeps the ends the overlay shows.
    if (!(s.updateAll == 1 && s.activeHandle == -1)) s.updateAll = 0;
    return 1;
  }
  if (s.active != 0) {
    s.updateAll = 0;
    s.testResult = kTestUpdate;
    s.activeHandle = -1;
    return 0;
  }
  s.active = 1;
  s.values.factor = 1.0;
  s.values.offset = 0.0;
  s.testResult = kTestUpdate;
  s.updateAll = 1;
  return 1;
}

void StretchModel::end(int slot) {
  Instance &s = at(slot);
  if (s.testResult == kTestClone) {
    s.testResult = kTestUpdate;
    s.active = 1;
    return;
  }
  s.testResult = kTestUpdate;
  s.active = 0;
  s.drawState = -1;
  s.updateAll = 0;
}

void StretchModel::event(int slot, int code) {
  Instance &s = at(slot);
  if (code == kEventDrop && s.active != 0) {
    s.testResult = kTestReject;
    s.drawState = 0;
    s.updateAll = 0;
    s.activeHandle = -1;
  } else if (code == kEventDrop || code == kEventReset) {
    s.values.factor = 1.0;
    s.values.offset = 0.0;
    s.values.symmetry = 0;
    s.testResult = kTestUpdate;
    s.drawState = 0;
    s.updateAll = 0;
    s.activeHandle = -1;
  } else if (code == kEventActivate) {
    s.testResult = kTestUpdate;
    s.drawState = 0;
    s.updateAll = 1;
    s.active = 1;
  }
}

int StretchModel::draw(int slot) {
  Instance &s = at(slot);
  if (s.active == 0 || s.drawState == -1) return 0;
  s.drawState = 0;
  return s.buffers ? kCallsPerPair * (s.pointCount / 2) : 0;
}

int StretchModel::set(int slot, std::uintptr_t control, int intValue, double doubleValue) {
  Instance &s = at(slot);
  Settings &v = s.values;
  switch (control) {
    case kActive:
      break;
    case kMode:
      v.mode = remembered_.mode = intValue;
      if (intValue != 0)
        v.factor = remembered_.factor = 1.0;
      else
        v.offset = remembered_.offset = 0.0;
      break;
    case kFactor:
      v.factor = remembered_.factor = doubleValue;
      s.updateAll = 1;
      break;
    case kOffset:
      v.offset = remembered_.offset = doubleValue;
      s.updateAll = 1;
      break;
    case kSymmetry:
      v.symmetry = remembered_.symmetry = intValue;
      s.updateAll = 1;
      break;
    default:
      return 0;
  }
  s.testResult = kTestUpdate;
  return kSetRedraw;
}

ModelValue StretchModel::get(int slot, std::uintptr_t control) const {
  const Instance &s = at(slot);
  switch (control) {
    case kActive:
      return {true, false, s.active, 0.0};
    case kMode:
      return {true, false, s.values.mode, 0.0};
    case kFactor:
      return {true, true, 0, s.values.factor};
    case kOffset:
      return {true, true, 0, s.values.offset};
    case kSymmetry:
      return {true, false, s.values.symmetry, 0.0};
    default:
      return {};
  }
}

// Swaps the ends of every pair of the newest instance and asks for a redraw
// only. Unless a drag waits for its build (which then solves it as dragged),
// whatever build comes next recomputes every pair from the panel's values
// with the swapped ends.
void StretchModel::invertHandle() {
  if (newest_ < 0) return;
  Instance &s = at(newest_);
  if (s.buffers)
    for (int i = 0; i < s.pointCount / 2; ++i) {
      int &flag = s.inverted[static_cast<std::size_t>(i)];
      flag = flag == 0 ? 1 : 0;
    }
  s.drawState = 1;
  const bool dragPending = s.testResult == kTestUpdate && s.active != 0 && s.updateAll != 1 &&
                           s.activeHandle >= 0 && s.activeHandle < s.pointCount;
  if (dragPending) return;
  s.activeHandle = -1;
  s.updateAll = 1;
}

ModelBuild StretchModel::build(int slot, const ModelBuildHost &host) {
  Instance &s = at(slot);
  ModelBuild out;
  if (s.active == 0) {
    s.testResult = kTestUpdate;
    out.usesOperation = false;
    return out;
  }
  const bool passFailed = ModelPass(s, host, out).run() != 0;
  out.pairs = s.pointCount / 2;
  if (passFailed) {
    s.testResult = kTestUpdate;
    s.drawState = -1;
    s.active = 0;
    out.failed = true;
  } else {
    s.testResult = kTestNothing;
    s.drawState = 1;
  }
  return out;
}

std::string StretchModel::describe(int slot) const {
  const Instance &s = at(slot);
  char line[320];
  std::snprintf(line, sizeof line,
                "mode %d, factor %.17g, offset %.17g, symmetry %d, %d points, handle %d, test %d, active %d, "
                "draw %d, updateAll %d, CTRL %d, buffers %s",
                s.values.mode, s.values.factor, s.values.offset, s.values.symmetry, s.pointCount,
                s.activeHandle, s.testResult, s.active, s.drawState, s.updateAll, s.allHandles,
                s.buffers ? "yes" : "no");
  return line;
}

}  // namespace fuzz
