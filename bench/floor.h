// The floor: what any implementation of the tool must do for a case on a
// given host. It makes exactly the host calls the tool makes, in the same
// order (the mesh-edit operation's and the progress monitor's, or the twelve
// drawing calls a pair), plus the pair arithmetic, in plain loops, and keeps
// what the overlay needs after a build. It knows its input (Factor mode,
// Symmetry as told, no inverted pair, no pair of coinciding points) and checks
// nothing else: no failure paths, no guards.
//
// Its host calls go through the same function pointers as the tool's, fetched
// from the host at run time: it lives in its own file, so the compiler cannot
// see through them either. The ratio of the tool's time to the floor's is what
// the tool adds.
#pragma once

#include <memory>

#include "host/host_abi.h"

namespace bench {

struct Vec {
  double x, y, z;
};

// What the floor keeps, as the tool must: the IDs the scan delivers, and for
// the overlay the host draws after every build each point's position and each
// pair's handle vector (three times the unit vector from its anchor end to its
// handle end as read).
struct FloorState {
  std::unique_ptr<LWPntID[]> ids;
  std::unique_ptr<Vec[]> positions;
  std::unique_ptr<Vec[]> handleVectors;
  int points = 0;
  int scanned = 0;
};

// Fetches the host's monitor service, as activation does.
void floorActivate(LWGlobalFunc global);

// The builds. `factor` lies outside the unchanged window; `symmetric` moves
// each anchor end the opposite way too. The first build allocates the state's
// arrays (uninitialised, as it writes every entry); the others reuse them.
void floorFirstBuild(MeshEditOp *op, FloorState &s, double factor, bool symmetric);
void floorRecompute(MeshEditOp *op, FloorState &s, double factor, bool symmetric);
// A drag of point k (a handle end) to q; with ctrl every pair takes the solved
// factor. Returns the solved factor.
double floorDragBuild(MeshEditOp *op, FloorState &s, int k, const Vec &q, bool ctrl, bool symmetric);

// The overlay: twelve calls a pair from the double positions and handle
// vectors, each point converted to float once.
void floorDraw(LWWireDrawAccess *access, const Vec *positions, const Vec *handleVectors, int pairs);

}  // namespace bench
