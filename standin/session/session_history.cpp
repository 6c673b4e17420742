// The session's history: steps, undo and redo.
//
// A step keeps what it replaced: the positions its points had before it
// (the mesh's journal: each point once, when first written) and, when it
// changes the selection, the selection before it. The module's state cannot
// be read back, so undo rebuilds it from the last point that does not depend
// on it: a step that picks the tool afresh (pick, revert, length,
// match-pair, a choice of pairs with "pick"), or one after which the tool was
// closed. The mesh and the
// selection go back to that point, and the steps since are run again, quietly.
#include "standin/session/session.h"

namespace standin {
namespace {

bool startsTool(const Command &c) {
  return c.op == CommandOp::Pick || c.op == CommandOp::Revert || c.op == CommandOp::Length ||
         c.op == CommandOp::MatchPair || c.repick;
}

// A choice of points or pairs; without "pick" it does not call the module.
bool choosesPoints(CommandOp op) {
  return op == CommandOp::Select || op == CommandOp::Pairs || op == CommandOp::PairsFromEdges;
}

bool changesSelection(CommandOp op) {
  return choosesPoints(op) || op == CommandOp::Length || op == CommandOp::MatchPair;
}

// Replaying sets the session quiet for its scope.
class Quiet {
 public:
  explicit Quiet(bool &quiet) : quiet_(quiet) { quiet_ = true; }
  ~Quiet() { quiet_ = false; }
  Quiet(const Quiet &) = delete;
  Quiet &operator=(const Quiet &) = delete;

 private:
  bool &quiet_;
};

}  // namespace

Session::Selection Session::currentSelection() const {
  Selection selection;
  selection.inOrder = !mesh_.scanOrder().empty();
  selection.points = this->selection();
  return selection;
}

void Session::restoreSelection(const Selection &selection) {
  if (selection.inOrder)
    mesh_.selectInOrder(selection.points);
  else
    mesh_.selectOnly(selection.points);
}

// A new action begins a step, but for the drags and the release of a press
// still held, which belong to the press's step.
void Session::beginStep(const Command &c) {
  if (stepOpen_ && (c.op == CommandOp::Drag || c.op == CommandOp::Release)) return;
  closeOpenStep();
  Step step;
  step.id = nextStepId_++;
  if (changesSelection(c.op)) step.selection = currentSelection();
  // Length and match-pair pick the tool again at the end when it was picked
  // before: their outcome does not depend on the tool only when it was not.
  const bool lengths = c.op == CommandOp::Length || c.op == CommandOp::MatchPair;
  step.startsTool = startsTool(c) && !(lengths && live());
  if (setup_.history) mesh_.startJournal();
  done_.push_back(std::move(step));
}

// A press still held ends its step when another action begins: what its
// drags moved so far is what undoing it puts back.
void Session::closeOpenStep() {
  if (!stepOpen_) return;
  stepOpen_ = false;
  std::vector<std::pair<std::size_t, Position>> moved = mesh_.takeJournal();
  done_.back().moved.insert(done_.back().moved.end(), moved.begin(), moved.end());
}

// The step of a press still held goes on after a command that was refused.
// What its drags move from now on is added to what it keeps (rewind puts the
// first of a point's positions back last).
void Session::reopenStep() {
  stepOpen_ = true;
  if (setup_.history) mesh_.startJournal();
}

// Also after a command that failed: it is kept when it changed something.
void Session::endStep(const Command &c, bool failed) {
  // A refused drag leaves its press's step as it was, still open.
  if (failed && stepOpen_ && (c.op == CommandOp::Drag || c.op == CommandOp::Release)) return;
  Step &step = done_.back();
  if (!failed) step.commands.push_back(c);
  if (!choosesPoints(c.op) || c.repick) step.touchesTool = true;
  step.liveAfter = live();
  // The mouse button stays down from a press to its release, whether or not
  // the press grabbed a handle.
  stepOpen_ = !failed && (c.op == CommandOp::Press || c.op == CommandOp::Drag);
  if (stepOpen_) {
    if (c.op == CommandOp::Press) undone_.clear();  // a new action: nothing to redo
    return;
  }
  std::vector<std::pair<std::size_t, Position>> moved = mesh_.takeJournal();
  if (step.moved.empty())
    step.moved = std::move(moved);
  else
    step.moved.insert(step.moved.end(), moved.begin(), moved.end());
  if (step.commands.empty() && step.moved.empty()) {
    done_.pop_back();
    return;
  }
  if (!failed) undone_.clear();
}

// The mesh and the selection as they were before the step.
void Session::rewind(Step &step) {
  for (auto it = step.moved.rbegin(); it != step.moved.rend(); ++it) mesh_.setPosition(it->first, it->second);
  if (step.selection) restoreSelection(*step.selection);
}

// The first step of done_ to run again: after the last one whose outcome
// does not depend on the tool as it was before it.
std::size_t Session::rebuildFrom() const {
  for (std::size_t k = done_.size(); k-- > 0;) {
    if (done_[k].startsTool) return k;
    if (!done_[k].liveAfter) return k + 1;
  }
  return 0;
}

void Session::replay(std::size_t from) {
  const Quiet quiet(quiet_);
  const std::optional<AboutPicture> about = about_;  // the page's picture stays
  for (std::size_t k = from; k < done_.size(); ++k) {
    Step &step = done_[k];
    mesh_.startJournal();
    for (const Command &c : step.commands) {
      execute(c);
      collect(c);
    }
    step.moved = mesh_.takeJournal();
  }
  about_ = about;
}

void Session::undo() {
  if (held()) throw Failure(FailureKind::Refused, "undo: the mouse button is held (release it first)");
  if (!canUndo()) throw Failure(FailureKind::Refused, "undo: there is nothing to undo");
  closeOpenStep();
  Step step = std::move(done_.back());
  done_.pop_back();
  if (!step.touchesTool) {
    rewind(step);
  } else {
    const std::size_t from = rebuildFrom();
    {
      const Quiet quiet(quiet_);
      close();
      collect(Command{});
    }
    rewind(step);
    for (std::size_t k = done_.size(); k-- > from;) rewind(done_[k]);
    replay(from);
  }
  undone_.push_back(std::move(step));
}

// Pressing About is no step, but the panel's change runs a host cycle, whose
// build may move points (after a right click began a new stretch): the press
// joins the last step, without its file, so that undo's rebuild runs it again,
// and what it moved is put back with that step.
void Session::pressAboutInStep(const Command &c) {
  if (done_.empty() || !live()) return execute(c);
  const bool open = stepOpen_;  // the open press's journal goes on
  if (!open) mesh_.startJournal();
  try {
    execute(c);
  } catch (...) {
    if (!open) static_cast<void>(mesh_.takeJournal());
    throw;
  }
  Step &step = done_.back();
  if (!open) {
    std::vector<std::pair<std::size_t, Position>> moved = mesh_.takeJournal();
    step.moved.insert(step.moved.end(), moved.begin(), moved.end());
  }
  Command again = c;
  again.text.clear();
  step.commands.push_back(again);
  step.touchesTool = true;
}

// Back to the end of step `steps`: the steps after it are put back, and the
// tool is rebuilt from the history as undo rebuilds it.
void Session::takeBack(std::size_t steps) {
  const Quiet quiet(quiet_);
  stepOpen_ = false;
  while (done_.size() > steps) {
    rewind(done_.back());
    done_.pop_back();
  }
  static_cast<void>(mesh_.takeJournal());
  close();
  collect(Command{});
  const std::size_t from = rebuildFrom();
  for (std::size_t k = done_.size(); k-- > from;) rewind(done_[k]);
  replay(from);
}

void Session::beginHistoryHere() {
  closeOpenStep();
  historyBase_ = done_.size();
  savedId_ = done_.empty() ? 0 : done_.back().id;
}

// A press clears what could be redone, so a button held now is one an undo
// put back as it was when the step was first done (a step taken while it was
// held): the step runs again from there as it ran then.
void Session::redo() {
  if (undone_.empty()) throw Failure(FailureKind::Refused, "redo: there is nothing to redo");
  closeOpenStep();
  Step step = std::move(undone_.back());
  undone_.pop_back();
  Step again;
  again.id = step.id;
  again.startsTool = step.startsTool;
  again.touchesTool = step.touchesTool;
  if (step.selection) again.selection = currentSelection();
  mesh_.startJournal();
  for (const Command &c : step.commands) execute(c);
  again.commands = std::move(step.commands);
  again.moved = mesh_.takeJournal();
  again.liveAfter = live();
  done_.push_back(std::move(again));
}

}  // namespace standin
