// Outputs that are put in place together: all of them, or, when one cannot
// be written or the run is interrupted first, none. A run's closing outputs
// (the result mesh, its pictures, its report) form one set, so that a full
// disk never leaves a new picture beside an old mesh, nor a report that
// describes a file that was not written.
//
// How: add() writes each file's new contents at once into a hidden temporary
// file beside its target, flushed to the disk (see StagedFile), and keeps a
// stream's (a device, a FIFO, standard output) in memory. commit() then
// writes the streams, and with every signal held renames each temporary file
// over its target. A file that is replaced first gets a second, hidden name
// (a hard link) for its old contents, so that when a later rename fails the
// renames before it are undone: each target gets its old file back, a new
// one is removed. Then the folders are flushed, so the renames survive a
// crash.
//
// What cannot be taken back: bytes written into a stream, and (where the
// file system has no hard links) a replaced file; such files are renamed
// after all others, so only a failing rename after them can leave the set
// in part.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "standin/host/progress_display.h"
#include "standin/session/atomic_file.h"
#include "standin/session/staged_file.h"

namespace standin {

class OutputSet {
 public:
  // `wrote`, when given, is told the name (as added) of each output once it
  // is in place (in the order streams, then files).
  explicit OutputSet(std::function<void(const std::string &shown)> wrote = {});
  // Removes whatever is staged and not in place.
  ~OutputSet();
  OutputSet(const OutputSet &) = delete;
  OutputSet &operator=(const OutputSet &) = delete;

  // Adds the output `path` (as writeFileAtomically takes it; `shown` names
  // it in messages): a file's contents are staged now, a stream's kept.
  // Throws Failure (CannotWrite, or Interrupted); the outputs added before
  // stay staged until the set is destroyed.
  void add(const std::string &path, const std::string &shown, std::string_view contents,
           const ProgressReport &progress = {});

  // Puts every output in place, all or none (see above). Throws Failure:
  // Interrupted when the interrupt flag was set before the first rename (the
  // streams were written, no file was), CannotWrite when a stream or a rename
  // failed (no file is in place), NotDurable when every output is in place
  // but a folder could not be flushed. Call it once.
  void commit();

  std::size_t size() const { return files_.size() + streams_.size(); }

 private:
  struct Stream {
    std::string path;
    std::string shown;
    std::string contents;
  };
  std::shared_ptr<const OutputFolder> folder(const std::filesystem::path &path, const std::string &shown);
  void writeStream(const Stream &stream);
  void renameAll();

  std::function<void(const std::string &)> wrote_;
  std::map<std::string, std::shared_ptr<const OutputFolder>> folders_;
  std::vector<std::unique_ptr<StagedFile>> files_;
  std::vector<Stream> streams_;
};

}  // namespace standin
