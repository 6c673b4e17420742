// The floor of the program benchmark: the least a plain program does for
// `elasticpull-host MESH --select all --factor F -o OUT` on a mesh whose `v`
// lines read `v x y z`. It reads the file in one read, parses the `v` lines
// with std::from_chars, stretches each pair (points 2i and 2i+1, the first the
// handle end) with the tool's arithmetic, formats the moved numbers with
// std::to_chars into one buffer and writes it in one write. Its output is
// byte for byte the program's; bench/program_vs_floor.sh checks that.
//
//   ep_program_floor MESH OUT FACTOR
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>
#include <vector>

#include "whole_file.h"

namespace {

struct Point {
  double x, y, z;
};

struct Span {
  std::size_t begin, end;  // the x y z text of a `v` line
};

// Parses "x y z" from `at`; the end of z, or nullptr.
const char *parseXyz(const char *at, const char *end, Point &p) {
  double *axes[3] = {&p.x, &p.y, &p.z};
  for (int axis = 0; axis < 3; ++axis) {
    if (axis > 0) {
      if (at == end || *at != ' ') return nullptr;
      ++at;
    }
    const auto [next, ec] = std::from_chars(at, end, *axes[axis]);
    if (ec != std::errc()) return nullptr;
    at = next;
  }
  return at;
}

// The tool's Factor stretch of one pair: the handle end h goes to
// a + factor * (L * u), u the unit direction of h - a and L its length.
Point stretch(const Point &h, const Point &a, double factor) {
  const Point d{h.x - a.x, h.y - a.y, h.z - a.z};
  const auto nearZero = [](double v) { return v > -1e-14 && v < 1e-14; };
  if (nearZero(d.x) && nearZero(d.y) && nearZero(d.z)) return h;
  const double length = std::sqrt((d.x * d.x + d.y * d.y) + d.z * d.z);
  const Point u{d.x / length, d.y / length, d.z / length};
  const Point scaled{length * u.x, length * u.y, length * u.z};
  return Point{a.x + factor * scaled.x, a.y + factor * scaled.y, a.z + factor * scaled.z};
}

void appendNumber(std::string &out, double value) {
  char buffer[64];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, ec == std::errc() ? end : buffer);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: ep_program_floor MESH OUT FACTOR\n");
    return 2;
  }
  const double factor = std::strtod(argv[3], nullptr);
  std::string text;
  if (!bench::readWholeFile(argv[1], text)) {
    std::perror(argv[1]);
    return 1;
  }

  std::vector<Point> points;
  std::vector<Span> spans;
  const char *const begin = text.data();
  const char *const end = begin + text.size();
  for (const char *line = begin; line < end;) {
    const char *newline =
        static_cast<const char *>(std::memchr(line, '\n', static_cast<std::size_t>(end - line)));
    const char *lineEnd = newline != nullptr ? newline : end;
    if (lineEnd - line > 2 && line[0] == 'v' && line[1] == ' ') {
      Point p{};
      const char *xyzEnd = parseXyz(line + 2, lineEnd, p);
      if (xyzEnd == nullptr) {
        std::fprintf(stderr, "%s: a `v` line the floor does not read\n", argv[1]);
        return 1;
      }
      points.push_back(p);
      spans.push_back(
          Span{static_cast<std::size_t>(line + 2 - begin), static_cast<std::size_t>(xyzEnd - begin)});
    }
    line = lineEnd + 1;
  }

  std::vector<unsigned char> moved(points.size(), 0);
  if (factor <= 0.99999999999999 || factor >= 1.0000000000001) {
    for (std::size_t i = 0; i + 1 < points.size(); i += 2) {
      const Point placed = stretch(points[i], points[i + 1], factor);
      if (std::memcmp(&placed, &points[i], sizeof placed) == 0) continue;
      points[i] = placed;
      moved[i] = 1;
    }
  }

  std::string out;
  out.reserve(text.size() + text.size() / 4);
  std::size_t copied = 0;
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (moved[i] == 0) continue;
    out.append(text, copied, spans[i].begin - copied);
    appendNumber(out, points[i].x);
    out += ' ';
    appendNumber(out, points[i].y);
    out += ' ';
    appendNumber(out, points[i].z);
    copied = spans[i].end;
  }
  out.append(text, copied, std::string::npos);

  if (!bench::writeWholeFile(argv[2], out)) {
    std::perror(argv[2]);
    return 1;
  }
  return 0;
}
