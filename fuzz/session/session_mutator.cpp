// Structure-aware mutation of the session target's scripts: an input is
// split into its lines (session_lines.h) and edited as a sequence of commands
// (a made-up command inserted, a line removed, copied or moved, a number in a
// line replaced by a meaningful one), and two inputs are spliced line-wise.
// One call in eight is left to libFuzzer's byte mutations. Every choice comes
// from the seed libFuzzer passes, so a fixed -seed makes the same inputs.
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "fuzz/session/session_lines.h"

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t *data, std::size_t size, std::size_t maxSize);

namespace {

using Random = std::minstd_rand;

std::size_t below(Random &rng, std::size_t n) { return n == 0 ? 0 : rng() % n; }

std::vector<std::string> linesOf(const std::uint8_t *data, std::size_t size) {
  return fuzz::splitLines(std::string_view(reinterpret_cast<const char *>(data), size));
}

std::size_t store(const std::vector<std::string> &lines, std::uint8_t *out, std::size_t maxSize) {
  std::string text = fuzz::joinLines(lines);
  if (text.size() > maxSize) return 0;
  std::memcpy(out, text.data(), text.size());
  return text.size();
}

void mutateOnce(Random &rng, std::vector<std::string> &lines) {
  const std::size_t at = below(rng, lines.size());
  const auto position = [&](std::size_t i) { return lines.begin() + static_cast<std::ptrdiff_t>(i); };
  switch (lines.empty() ? 0 : below(rng, 8)) {
    case 0:
    case 1:
    case 2:
      if (lines.size() < fuzz::kMaxSessionLines)
        lines.insert(position(below(rng, lines.size() + 1)), fuzz::madeUpLine(rng));
      return;
    case 3:
      lines.erase(position(at));
      return;
    case 4:
      if (lines.size() < fuzz::kMaxSessionLines)
        lines.insert(position(below(rng, lines.size() + 1)), lines[at]);
      return;
    case 5: {
      const std::string line = lines[at];
      lines.erase(position(at));
      lines.insert(position(below(rng, lines.size() + 1)), line);
      return;
    }
    default:
      lines[at] = fuzz::nudgedLine(rng, lines[at]);
  }
}

}  // namespace

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t *data, std::size_t size, std::size_t maxSize,
                                               unsigned int seed) {
  Random rng(seed);
  if (below(rng, 8) == 0) return LLVMFuzzerMutate(data, size, maxSize);
  std::vector<std::string> lines = linesOf(data, size);
  const std::size_t edits = 1 + below(rng, 3);
  for (std::size_t i = 0; i < edits; ++i) mutateOnce(rng, lines);
  const std::size_t stored = store(lines, data, maxSize);
  return stored != 0 ? stored : LLVMFuzzerMutate(data, size, maxSize);
}

// A prefix of one script and a suffix of the other.
extern "C" std::size_t LLVMFuzzerCustomCrossOver(const std::uint8_t *data1, std::size_t size1,
                                                 const std::uint8_t *data2, std::size_t size2,
                                                 std::uint8_t *out, std::size_t maxOutSize,
                                                 unsigned int seed) {
  Random rng(seed);
  const std::vector<std::string> first = linesOf(data1, size1), second = linesOf(data2, size2);
  std::vector<std::string> lines(first.begin(),
                                 first.begin() + static_cast<std::ptrdiff_t>(below(rng, first.size() + 1)));
  lines.insert(lines.end(), second.begin() + static_cast<std::ptrdiff_t>(below(rng, second.size() + 1)),
               second.end());
  if (lines.size() > fuzz::kMaxSessionLines) lines.resize(fuzz::kMaxSessionLines);
  return store(lines, out, maxOutSize);
}
