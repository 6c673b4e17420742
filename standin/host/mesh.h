// The points of the host's primary layer: positions, selection flags and the
// opaque IDs the module sees.
//
// IDs are kIdBase + index * kIdStride cast to a pointer, so they never equal
// a small index and a module that confuses an index with an ID, or
// dereferences an ID, shows it at once. An ID stays valid for the mesh's
// life (points are only ever added).
//
// The mesh remembers which points setPosition wrote since clearWritten() (and,
// when asked, where they were before), so that whoever keeps the points' text
// (an OBJ file) looks only at those.
//
// Scan order: a host's point scan delivers the points in an order of the
// host's choosing. This one delivers them in mesh order unless the selection
// was made with selectInOrder(), which has the scan deliver the selected
// points first, in the order given (so that the tool pairs them as the user
// chose), and every other point after them in mesh order. Any other change of
// the selection returns to mesh order.
//
// A layer of their own: selectInOrder can also put the selected points in a
// layer of their own, as a user who cuts them into an empty layer before an
// edit: the edit's layer then holds those points alone, so its scan delivers
// them and no other and its point count is theirs. Any change of the selection
// returns the mesh to one layer. A host that edits many small selections of a
// large mesh, one after the other, so pays for each what it selects.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "host/host_abi.h"

namespace standin {

using Position = std::array<double, 3>;

class Mesh {
 public:
  static constexpr uintptr_t kIdBase = 0x100000;
  static constexpr uintptr_t kIdStride = 8;

  // The most points a mesh holds: the module counts them in an int.
  static constexpr std::size_t kMaxPoints = 0x7fffffff;

  // Room for `points` points without reallocating.
  void reserve(std::size_t points);
  // Throws std::length_error past kMaxPoints.
  std::size_t addPoint(const Position &position, bool selected = false);

  std::size_t size() const { return positions_.size(); }
  LWPntID id(std::size_t index) const;
  std::optional<std::size_t> indexOf(LWPntID id) const {
    const auto value = reinterpret_cast<uintptr_t>(id);
    if (value < kIdBase || (value - kIdBase) % kIdStride != 0) return std::nullopt;
    const auto index = static_cast<std::size_t>((value - kIdBase) / kIdStride);
    if (index >= size()) return std::nullopt;
    return index;
  }

  const Position &position(std::size_t index) const { return positions_.at(index); }
  void setPosition(std::size_t index, const Position &position) {
    Position &at = positions_.at(index);
    if (journaling_ && journalMark_[index] != journalEpoch_) keep(index, at);
    if (watching_ && watchMark_[index] == 0) watch(index);
    if (written_[index] == 0) {
      written_[index] = 1;
      if (keepFirstWrites_) recordFirstWrite(index, fingerprint(at));
    }
    at = position;
    ++changes_;
  }
  const std::vector<Position> &positions() const { return positions_; }
  // Counts every write of a position and every point added: whoever read
  // positions knows they are still as read while this count is the same.
  const std::uint64_t &changeCount() const { return changes_; }

  // Whether setPosition wrote the point since the last clearWritten().
  bool written(std::size_t index) const { return written_.at(index) != 0; }
  void clearWritten();

  // With keepFirstWrites(true), each point setPosition writes for the first
  // time since clearWritten() is listed, in the order written, with a
  // fingerprint of the position it had before: whoever also keeps the points
  // (an OBJ file) learns which ones surely moved without a copy of any of
  // them. Equal positions have equal fingerprints; different ones almost
  // never do (2^-32), so equal fingerprints mean "compare the positions".
  struct FirstWrite {
    std::uint32_t index;   // a mesh has at most kMaxPoints points
    std::uint32_t before;  // fingerprint() of its position before the write
  };
  static std::uint32_t fingerprint(const Position &position);
  void keepFirstWrites(bool keep) { keepFirstWrites_ = keep; }
  const std::vector<FirstWrite> &firstWrites() const { return firstWrites_; }

  bool selected(std::size_t index) const { return selected_.at(index) != 0; }
  void setSelected(std::size_t index, bool selected);
  // Selects exactly the given points (indices past the end are an error).
  void selectOnly(std::span<const std::size_t> indices);
  void clearSelection();
  // Selects exactly `indices`, which the scan then delivers in this order;
  // with ownLayer, in a layer of their own. Throws std::out_of_range past the
  // end and std::invalid_argument for a point given twice (a scan delivers
  // each point once). Costs what it selects and what was selected in order
  // before, not the mesh.
  void selectInOrder(std::span<const std::size_t> indices, bool ownLayer = false);
  // Whether the selected points are in a layer of their own.
  bool ownLayer() const { return ownLayer_; }
  // The selected points in the order the scan delivers them; empty while
  // that is mesh order.
  const std::vector<std::size_t> &scanOrder() const { return scanOrder_; }
  // Counted as the selection changes, not by walking the points.
  std::size_t selectedCount() const { return selectedCount_; }
  // Counts the changes of the selection (or of its order), so that whoever
  // shows it knows whether it changed without comparing it.
  std::uint64_t selectionStamp() const { return selectionStamp_; }

  // From now on, keeps the position each point had before setPosition first
  // wrote it (for a history that puts points back): in proportion to the
  // points written, each once.
  void startJournal();
  // What was kept since startJournal(), in the order first written; keeps no
  // more.
  std::vector<std::pair<std::size_t, Position>> takeJournal();

  // From now on, lists each point setPosition writes, once, until
  // takeWatched() hands the list over (for a viewer that shows what changed
  // since it last looked): in proportion to the points written. Unlike the
  // journal, it keeps no positions and is not ended by taking it.
  void watchWrites();
  bool watchingWrites() const { return watching_; }
  // The points written since watchWrites() or the last call, each once, in
  // the order first written.
  std::vector<std::uint32_t> takeWatched();
  // The same into `into` (its contents replaced), whose room the mesh keeps
  // for the next list.
  void takeWatched(std::vector<std::uint32_t> &into);

 private:
  void endOrder();  // back to mesh order and one layer

  std::vector<Position> positions_;
  std::uint64_t changes_ = 0;
  std::vector<unsigned char> selected_;
  std::vector<unsigned char> written_;
  bool keepFirstWrites_ = false;
  std::vector<FirstWrite> firstWrites_;
  void recordFirstWrite(std::size_t index, std::uint32_t before);
  std::size_t selectedCount_ = 0;
  std::uint64_t selectionStamp_ = 0;
  // While not empty, the selected points exactly, in scan order.
  std::vector<std::size_t> scanOrder_;
  bool ownLayer_ = false;
  void keep(std::size_t index, const Position &was);
  bool journaling_ = false;
  std::uint32_t journalEpoch_ = 0;
  std::vector<std::uint32_t> journalMark_;  // journalEpoch_: kept in this journal
  std::vector<std::pair<std::size_t, Position>> journal_;
  void watch(std::size_t index);
  bool watching_ = false;
  std::vector<unsigned char> watchMark_;  // 1: listed in watched_
  std::vector<std::uint32_t> watched_;
};

}  // namespace standin
