// Reading a text input whole (a mesh file, a session script), from a file or
// a stream such as standard input, without letting an input that is not text
// or never ends use up the memory.
//
// - A regular file is read into a buffer of its size: its first 64 KiB, then
//   the rest 16 MiB at a time (and then whatever it grew by meanwhile).
// - A NUL byte stops the reading at the read that found it: the input is not
//   text (/dev/zero, a binary file).
// - An input that is not a regular file (a pipe, a FIFO, a device) is read up
//   to a limit; one that goes on past it is refused as one that never ends.
// - A UTF-8 byte-order mark at the start is kept in the text (so a file is
//   written back byte for byte); readers skip byteOrderMarkLength() bytes.
#pragma once

#include <cstddef>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>

#include "standin/host/failure.h"
#include "standin/host/progress_display.h"

namespace standin {

// Failures (standin/host/failure.h), with no input named yet (at() names it):
//   CannotOpen, CannotRead  message: the system's reason
//   NotText                 "not a text file (contains a NUL byte)", line() where;
//                           "it does not end (more than 256 MiB from a pipe or a
//                           device)", line() 0

// How much of an input that is not a regular file is read before it is
// taken for one that never ends.
inline constexpr std::size_t kStreamInputLimit = std::size_t{256} << 20;

// Reads the file at `path`; `progress`, when given, is told the bytes of a
// regular file read so far. Throws Failure.
std::string readTextFile(const std::string &path, std::size_t streamLimit = kStreamInputLimit,
                         const ProgressReport &progress = {});
// Reads an open stream to its end (at most `limit` bytes). Throws Failure.
std::string readTextStream(std::FILE *stream, std::size_t limit = kStreamInputLimit);

// 3 when `text` starts with a UTF-8 byte-order mark, else 0.
std::size_t byteOrderMarkLength(std::string_view text);

// Throws Failure(BadInput) at `name`:1 when `text` ends its lines in a carriage
// return alone (the old Mac OS convention: carriage returns and no line
// feed): read as it is, the whole input would be one line. Such a text is
// refused rather than read, so that what is written back keeps every byte
// and line end the input had; the message says how to convert it.
void refuseCarriageReturnLineEnds(std::string_view text, const std::string &name);

}  // namespace standin
