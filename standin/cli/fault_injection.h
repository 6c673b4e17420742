// Faults that a test of the program asks for through the environment, to
// see what the program leaves behind when a disk call fails or Ctrl-C comes
// at a given moment. Without the variables, nothing changes.
//
//   EP_TEST_FILE_FAULT=CALL:K[:ERRNO]   the K-th call (1-based, counted over
//       the run) of CALL (write, sync or rename: see atomic_file_calls.h)
//       fails with ERRNO: ENOSPC (the default), EIO, EDQUOT or EACCES.
//   EP_TEST_INTERRUPT=PHASE             SIGINT is raised in the program when
//       it reaches PHASE: "read" (the mesh is being read), "build" (the tool
//       is about to be driven), or CALL:K (just before the K-th write, sync or
//       rename; a rename runs with signals held, so there SIGINT arrives
//       once the renames are done).
#pragma once

namespace cli {

enum class Phase { Read, Build };

// Reads the variables and installs the file calls they ask for.
void installFaultsFromEnvironment();
// Raises SIGINT the first time the program reaches `phase`, if asked to.
void reachedPhase(Phase phase);

}  // namespace cli
