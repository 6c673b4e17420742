// Reading a text input whole (a mesh file, a session script), from a file or
// a stream such as standard input, without letting an input that is not text
// or never ends use up the memory.
//
// - A regular file is read into a buffer of its size: its first 64 KiB, then
//   the rest 16 MiB at a time (and then whatever it grew by meanwhile). The
//   room for the whole is taken only once the first 64 KiB are text, and it
//   costs memory only as it is filled.
// - A NUL byte stops the reading at the read that found it: the input is not
//   text (/dev/zero, a binary file, a sparse file's hole).
// - An input that is not a regular file (a pipe, a FIFO, a device) is read up
//   to a limit; one that goes on past it is refused as one that never ends.
// - A UTF-8 byte-order mark at the very start is kept in the text (so a file
//   is written back byte for byte); readers skip byteOrderMarkLength() bytes.
//   A mark anywhere else (two files joined, two marks at the start) is
//   refused at its line, as a NUL byte is: a reader would take the line it
//   starts for something else (a hidden `v` line shifts every index after
//   it).
#pragma once

#include <cstddef>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>

#include "standin/host/progress_display.h"

namespace standin {

class TextInputError : public std::runtime_error {
 public:
  enum class Kind {
    CannotOpen,  // what(): the system's reason
    CannotRead,  // what(): the system's reason
    NotText,     // what(): "not a text file (contains a NUL byte)", or a byte-order mark
                 // past the start; line() is where
    NeverEnds,   // what(): "it does not end (more than 256 MiB from a pipe or a device)"
  };
  TextInputError(Kind kind, const std::string &reason, std::size_t line = 0)
      : std::runtime_error(reason), kind_(kind), line_(line) {}
  Kind kind() const { return kind_; }
  std::size_t line() const { return line_; }  // 1-based; 0 when about the input as a whole

 private:
  Kind kind_;
  std::size_t line_;
};

// How much of an input that is not a regular file is read before it is
// taken for one that never ends.
inline constexpr std::size_t kStreamInputLimit = std::size_t{256} << 20;

// Reads the file at `path`; `progress`, when given, is told the bytes of a
// regular file read so far. Throws TextInputError.
std::string readTextFile(const std::string &path, std::size_t streamLimit = kStreamInputLimit,
                         const ProgressReport &progress = {});
// Reads an open stream to its end (at most `limit` bytes). Throws TextInputError.
std::string readTextStream(std::FILE *stream, std::size_t limit = kStreamInputLimit);

// 3 when `text` starts with a UTF-8 byte-order mark, else 0.
std::size_t byteOrderMarkLength(std::string_view text);

}  // namespace standin
