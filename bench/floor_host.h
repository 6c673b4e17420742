// The smallest host the module can run against, written for the benchmarks.
//
// The mesh is one array of point records; a point's ID is the address of its
// record, so pointInfo is a cast and pntMove three stores; the monitor never
// aborts and the drawing sink takes the calls and does nothing. No log, no
// lookup, no allocation, and in the timed runs no counting either: only the
// checking variant (one run of each case before any timing) counts every call
// and hashes it with its arguments. A message box is always counted (and
// fails the benchmark).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/host_abi.h"

namespace bench {

// ---- Calls, counted per kind ----------------------------------------------

enum class Call : std::size_t {
  PointCount,
  PointScan,
  PointInfo,
  PntMove,
  OpDone,
  MonitorCreate,
  MonitorInit,
  MonitorStep,
  MonitorDone,
  MonitorDestroy,
  MessageBox,
  MoveTo,
  LineTo,
  Spline,
  Circle,
  Kinds
};
inline constexpr std::size_t kCallKinds = static_cast<std::size_t>(Call::Kinds);

struct CallCounts {
  std::array<std::uint64_t, kCallKinds> n{};
  std::uint64_t &operator[](Call c) { return n[static_cast<std::size_t>(c)]; }
  std::uint64_t operator[](Call c) const { return n[static_cast<std::size_t>(c)]; }
  bool operator==(const CallCounts &) const = default;
};
// "pointInfo 30000, pntMove 5000, ..." (kinds with a count only).
std::string describe(const CallCounts &counts);

// ---- The host ---------------------------------------------------------------

// The counts of every call the host has served since the last reset, while
// checking (message boxes always).
CallCounts &counts();
// Whether the calls made from now on are counted: on for the checked runs.
// The checked operation and sink count themselves; this covers the monitor
// and the operation's done and count, which the module reaches through the
// same records in both kinds of run.
void setChecking(bool on);

// The global function to activate a module with: the monitor, message and
// panel services (the panel service is an empty table: nothing in the
// benchmarks opens a panel).
void *floorGlobal(const char *name, int use);

// A mesh of `points` selected points, pair i = points 2i and 2i+1, at
// reproducible pseudo-random places with no two points of a pair together.
class FloorMesh {
 public:
  explicit FloorMesh(std::size_t points);
  FloorMesh(const FloorMesh &) = delete;
  FloorMesh &operator=(const FloorMesh &) = delete;

  // The operation of one build. `checked` also folds every call and its
  // arguments into sequence() (for the one-off comparison of tool and floor);
  // the timed runs use the plain one.
  MeshEditOp *op(bool checked = false) { return checked ? &checkedOp_ : &plainOp_; }

  std::size_t size() const { return records_.size(); }
  int selected() const { return selected_; }
  EDPointInfo &record(std::size_t i) { return records_[i]; }
  LWPntID id(std::size_t i) { return &records_[i]; }

  // Puts every point back where the mesh started (between timed builds, so
  // that builds do not compound).
  void restore();
  // Every point's coordinates, in point order.
  std::vector<double> positions() const;

  // A hash of every call the checked operation served, in order, with its
  // point (as an index) and coordinates.
  std::uint64_t sequence() const { return sequence_; }
  void resetSequence() { sequence_ = kSequenceSeed; }
  void fold(std::uint64_t word);

 private:
  static constexpr std::uint64_t kSequenceSeed = 0xcbf29ce484222325u;
  std::vector<EDPointInfo> records_;
  std::vector<EDPointInfo> start_;
  int selected_ = 0;
  std::uint64_t sequence_ = kSequenceSeed;
  MeshEditOp plainOp_{};
  MeshEditOp checkedOp_{};
};

// True when the two hold the same doubles, bit for bit.
bool sameBits(const std::vector<double> &a, const std::vector<double> &b);

// ---- Drawing ----------------------------------------------------------------

// Twelve calls a pair go somewhere: here they are only counted (the timed
// sink), or also folded into a hash of every call and its exact arguments (the
// checked sink).
class DrawSink {
 public:
  explicit DrawSink(bool checked);
  DrawSink(const DrawSink &) = delete;  // the access record points at it
  DrawSink &operator=(const DrawSink &) = delete;
  LWWireDrawAccess *access() { return &access_; }
  std::uint64_t sequence() const { return sequence_; }
  void resetSequence() { sequence_ = kSequenceSeed; }
  void fold(std::uint64_t word);

 private:
  static constexpr std::uint64_t kSequenceSeed = 0xcbf29ce484222325u;
  LWWireDrawAccess access_{};
  std::uint64_t sequence_ = kSequenceSeed;
};

}  // namespace bench
