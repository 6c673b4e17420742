// Choosing what the tool works on: pairs from the mesh file's edges, picking
// the tool on pairs just chosen, another mesh, and taking back a drag.
#include "standin/session/point_pairs.h"
#include "standin/session/selection.h"
#include "standin/session/session.h"

namespace standin {

void Session::chooseEdgePairs(const Command &c) {
  const std::optional<int> axis = c.code >= 0 ? std::optional<int>(c.code) : std::nullopt;
  const EdgeChoice choice = pairsFromEdges(obj_, axis, c.value);
  if (c.repick) close();
  mesh_.selectInOrder(pairPoints(choice.pairs));
  if (!choice.skipped.empty() && !quiet_) notes_.push_back(choice.skipped);
  pickOnChoice(c);
}

// With "pick", the tool (closed before the selection changed, so that it
// kept its result) is picked on the new pairs, when there are any.
void Session::pickOnChoice(const Command &c) {
  if (c.repick && mesh_.selectedCount() >= 2) pick({});
}

// Reads the mesh (from the command's text, or the file it names) before
// anything changes, so a mistake leaves the session as it was. The command
// as logged names the file with the text's checksum, which a replay checks.
Command Session::open(const Command &c) {
  if (held()) throw Failure(FailureKind::Refused, "open: the mouse button is held (release it first)");
  if (holding_) throw Failure(FailureKind::Refused, "open: the run's outputs are already made");
  ObjFile file = c.contents ? ObjFile::parse(*c.contents, c.text) : ObjFile::read(c.text);
  const std::string checksum = textChecksum(file.source());
  if (!c.checksum.empty() && c.checksum != checksum) {
    throw Failure(FailureKind::BadInput,
                  "this is not the file the session opened: its checksum is " + checksum +
                      ", the session's was " + c.checksum,
                  "open " + c.text);
  }
  file.setDecimals(obj_.decimals());
  file.setRecomputeNormals(obj_.recomputeNormals());
  // The pictures taken so far show the mesh being replaced: drawn now.
  writePictures();
  pictures_.clear();
  pictureEdges_.clear();
  close();
  panel_.reset();
  tool_.reset();
  obj_ = std::move(file);
  edges_.clear();
  edgesRead_ = false;
  viewport_.clear();
  // The history begins here; the mesh is as its file has it.
  done_.clear();
  undone_.clear();
  stepOpen_ = false;
  historyBase_ = 0;
  savedId_ = 0;
  opened_ = true;
  Command done = c;
  done.contents.reset();
  done.checksum = checksum;
  return done;
}

// The release ends the press's step, which undo then takes back whole; it is
// not kept for redo: a cancelled drag is as if it never happened.
void Session::cancel() {
  if (!stepOpen_)
    throw Failure(FailureKind::Refused, "cancel: the mouse button is not held (nothing to cancel)");
  Command release;
  release.op = CommandOp::Release;
  release.line = currentLine_;
  beginStep(release);
  execute(release);
  endStep(release, false);
  undo();
  undone_.pop_back();
}

}  // namespace standin
