// One line per host call and per tool callback, for tests and the program's
// --trace. Tracing is off (and costs one branch per call) until a sink is set.
#pragma once

#include <functional>
#include <string>

namespace standin {

using TraceSink = std::function<void(const std::string &line)>;

class Tracer {
 public:
  void setSink(TraceSink sink) { sink_ = std::move(sink); }
  bool on() const { return static_cast<bool>(sink_); }
  void operator()(const std::string &line) const {
    if (sink_) sink_(line);
  }

 private:
  TraceSink sink_;
};

// Formatting helpers shared by the traced objects.
std::string traceVec(const double *v);  // "(x, y, z)" with round-trip precision, or "NULL"
std::string traceVec(const float *v);
std::string tracePtr(const void *p);      // "0x..." or "NULL"
std::string traceText(const char *text);  // quoted text, or "NULL"

}  // namespace standin
