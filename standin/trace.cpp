#include "standin/trace.h"

#include <cstdio>

namespace standin {

namespace {

template <typename T>
std::string formatTriple(const T *v) {
  if (v == nullptr) return "NULL";
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, "(%.17g, %.17g, %.17g)", static_cast<double>(v[0]),
                static_cast<double>(v[1]), static_cast<double>(v[2]));
  return buffer;
}

}  // namespace

std::string traceVec(const double *v) { return formatTriple(v); }
std::string traceVec(const float *v) { return formatTriple(v); }

std::string tracePtr(const void *p) {
  if (p == nullptr) return "NULL";
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%p", p);
  return buffer;
}

std::string traceText(const char *text) {
  if (text == nullptr) return "NULL";
  return std::string("\"") + text + "\"";
}

}  // namespace standin
