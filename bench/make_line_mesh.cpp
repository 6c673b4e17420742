// Writes the OBJ mesh the program benchmark runs on: N points (N even) as
// `v x y z` lines with six decimals, coordinates spread over [-1000, 1000]
// from a fixed seed, then N/2 two-point line elements `l a b` joining points
// 2i and 2i+1. The same N always gives the same file.
//
//   ep_make_line_mesh N FILE
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "whole_file.h"

namespace {

// splitmix64: a fixed, portable sequence.
std::uint64_t nextRandom(std::uint64_t &state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// A coordinate in [-1000, 1000] with six decimals, as a whole number of
// millionths, written without going through a double.
void appendCoordinate(std::string &out, std::uint64_t &state) {
  const long long millionths = static_cast<long long>(nextRandom(state) % 2000000001ull) - 1000000000ll;
  const unsigned long long magnitude =
      static_cast<unsigned long long>(millionths < 0 ? -millionths : millionths);
  if (millionths < 0) out += '-';
  out += std::to_string(magnitude / 1000000);
  char decimals[8];
  std::snprintf(decimals, sizeof decimals, ".%06llu", magnitude % 1000000);
  out += decimals;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: ep_make_line_mesh POINTS FILE\n");
    return 2;
  }
  const unsigned long long points = std::strtoull(argv[1], nullptr, 10);
  if (points < 2 || points % 2 != 0) {
    std::fprintf(stderr, "ep_make_line_mesh: POINTS must be even and at least 2\n");
    return 2;
  }
  std::string out = "# " + std::to_string(points) + " points in " + std::to_string(points / 2) +
                    " two-point line elements\no lines\n";
  std::uint64_t state = 20240601;
  for (unsigned long long i = 0; i < points; ++i) {
    out += "v ";
    appendCoordinate(out, state);
    out += ' ';
    appendCoordinate(out, state);
    out += ' ';
    appendCoordinate(out, state);
    out += '\n';
  }
  for (unsigned long long i = 0; i < points; i += 2)
    out += "l " + std::to_string(i + 1) + " " + std::to_string(i + 2) + "\n";
  if (!bench::writeWholeFile(argv[2], out)) {
    std::perror(argv[2]);
    return 1;
  }
  return 0;
}
