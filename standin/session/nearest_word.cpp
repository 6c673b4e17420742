#include "standin/session/nearest_word.h"

#include <algorithm>
#include <string_view>

namespace standin {
namespace {

// The number of single-character edits (insert, delete, replace, swap two
// neighbours) that turn `a` into `b`.
std::size_t editDistance(std::string_view a, std::string_view b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t replace = d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, replace});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[a.size()][b.size()];
}

}  // namespace

std::string nearestWord(const std::string &word, const std::vector<std::string> &known) {
  std::string lower = word;
  for (char &c : lower) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  std::string best;
  std::size_t bestDistance = 0;
  for (const std::string &name : known) {
    if (name.size() < 4) continue;
    const std::size_t distance = editDistance(lower, name);
    if (distance > 2 || distance * 3 >= name.size()) continue;
    if (best.empty() || distance < bestDistance) {
      best = name;
      bestDistance = distance;
    }
  }
  return best;
}

}  // namespace standin
