#include "standin/host/edit_model.h"

#include <stdexcept>

namespace standin {

EditModel::EditModel(Mesh &mesh, const Tracer &tracer) : mesh_(mesh), tracer_(tracer) {}

const BuildRecord &EditModel::update() {
  if (binding_ == nullptr) throw std::logic_error("EditModel::update: no tool attached");
  if (open_)
    restoreBase();
  else
    open_ = true;

  BuildRecord record;
  record.serial = static_cast<int>(builds_.size()) + 1;
  if (lastOp_ != nullptr) room_.table = lastOp_->takeTable();
  lastOp_ = std::make_unique<EditOperation>(mesh_, faults_, &tracer_, record.serial, std::move(room_));
  room_ = {};
  const char *text =
      binding_->build != nullptr ? binding_->build(binding_->instance, lastOp_->op()) : nullptr;
  record.errorText = text != nullptr;
  if (text != nullptr) record.text = text;
  if (tracer_.on()) tracer_("build(op" + std::to_string(record.serial) + ") -> " + traceText(text));

  // The operation is not used after build returns. A failed build, or one
  // that never ended its operation, leaves the mesh at the base.
  if (record.errorText || !lastOp_->doneCalled()) {
    lastOp_->discard();
    for (const PointPosition &point : lastOp_->replaced()) mesh_.setPosition(point.index, point.position);
  } else {
    moved_ = lastOp_->takeReplaced();
  }
  record.doneCalled = lastOp_->doneCalled();
  record.doneError = lastOp_->doneError();
  record.applied = lastOp_->applied() && !record.errorText;
  record.moves = lastOp_->callCount(OpCallKind::PntMove);
  record.misuse = lastOp_->misuseCount();
  builds_.push_back(record);
  return builds_.back();
}

// The list's memory is kept for the next build's moves.
void EditModel::restoreBase() {
  for (const PointPosition &point : moved_) mesh_.setPosition(point.index, point.position);
  room_.lastMoves = moved_.size();
  moved_.clear();
  room_.moves.swap(moved_);
}

void EditModel::forgetMoved() {
  moved_ = std::vector<PointPosition>();
  room_ = {};
}

void EditModel::end(int keep) {
  if (tracer_.on()) tracer_("end(" + std::to_string(keep) + ")");
  if (binding_ != nullptr && binding_->end != nullptr) binding_->end(binding_->instance, keep);
}

// reject, clone and accept answer the tool's own test code, so end is called
// even when no edit is open: otherwise the tool would keep answering the same
// code forever.
void EditModel::reject() {
  if (open_) restoreBase();
  forgetMoved();
  open_ = false;
  end(0);
}

// The result stands and becomes the new edit's base.
void EditModel::clone() {
  end(1);
  open_ = true;
  forgetMoved();
}

void EditModel::accept() {
  open_ = false;
  forgetMoved();
  end(1);
}

void EditModel::close() {
  if (open_) accept();
}

}  // namespace standin
