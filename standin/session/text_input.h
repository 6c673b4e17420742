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
#include <string>
#include <string_view>

#include "standin/host/failure.h"
#include "standin/host/progress_display.h"

namespace standin {

// Failures (standin/host/failure.h), with no input named yet (at() names it):
//   CannotOpen, CannotRead  message: the system's reason
//   NotText                 "not a text file (contains a NUL byte)" or "a
//                           byte-order mark (bytes EF BB BF) in mid-file: ...",
//                           line() where; "it does not end (more than 256 MiB
//                           from a pipe or a device)", line() 0

// How much of an input that is not a regular file is read before it is
// taken for one that never ends.
inline constexpr std::size_t kStreamInputLimit = std::size_t{256} << 20;

// Reads the file at `path`; `progress`, when given, is told the bytes of a
// regular file read so far. Throws Failure.
std::string readTextFile(const std::string &path, std::size_t streamLimit = kStreamInputLimit,
                         const ProgressReport &progress = {});
// Reads an open stream to its end (at most `limit` bytes). Throws Failure.
std::string readTextStream(std::FILE *stream, std::size_t limit = kStreamInputLimit);

// The check every text input goes through, read (the readers above call it
// on each chunk as it comes) or handed in whole (ObjFile::parse,
// parseScript): throws Failure(NotText) naming the line when the bytes of
// `text` from `from` on hold a NUL byte, or a byte-order mark anywhere but
// at the very start (one that begins up to two bytes before `from`
// included).
void refuseNotText(std::string_view text, std::size_t from = 0);

// 3 when `text` starts with a UTF-8 byte-order mark, else 0.
std::size_t byteOrderMarkLength(std::string_view text);

// Throws Failure(BadInput) at `name`:1 when `text` ends its lines in a carriage
// return alone (the old Mac OS convention: carriage returns and no line
// feed): read as it is, the whole input would be one line. Such a text is
// refused rather than read, so that what is written back keeps every byte
// and line end the input had; the message says how to convert it.
void refuseCarriageReturnLineEnds(std::string_view text, const std::string &name);

}  // namespace standin
