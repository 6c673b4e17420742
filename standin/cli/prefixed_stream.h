// A stream that starts every line it passes on with the program's name
// ("elasticpull-host: "), so that the lines other layers write to standard
// error (the tool's message boxes, the session's warnings) read as the
// program's own messages.
#pragma once

#include <ostream>
#include <streambuf>
#include <string>

namespace cli {

class LinePrefixBuffer : public std::streambuf {
 public:
  LinePrefixBuffer(std::ostream &target, std::string prefix) : target_(target), prefix_(std::move(prefix)) {}

 protected:
  int_type overflow(int_type c) override;
  int sync() override;

 private:
  std::ostream &target_;
  std::string prefix_;
  bool lineStart_ = true;
};

class PrefixedStream : public std::ostream {
 public:
  PrefixedStream(std::ostream &target, std::string prefix)
      : std::ostream(nullptr), buffer_(target, std::move(prefix)) {
    rdbuf(&buffer_);
  }

 private:
  LinePrefixBuffer buffer_;
};

}  // namespace cli
