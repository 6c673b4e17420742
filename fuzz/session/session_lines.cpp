#include "fuzz/session/session_lines.h"

#include <cctype>
#include <cstring>

namespace fuzz {
namespace {

using Random = std::minstd_rand;

std::size_t below(Random &rng, std::size_t n) { return n == 0 ? 0 : rng() % n; }
template <typename T, std::size_t N>
T pick(Random &rng, const T (&values)[N]) {
  return values[below(rng, N)];
}

std::string point(Random &rng) {
  static const char *const kOthers[] = {"10", "11", "99", "-1", "4294967296"};
  return below(rng, 6) == 0 ? pick(rng, kOthers) : std::to_string(below(rng, kSessionMeshPoints));
}

std::string number(Random &rng) {
  static const char *const kValues[] = {"0",       "1",     "-1",    "0.5",     "1.5",
                                        "2",       "-2",    "3",     "100",     "-100",
                                        "1e-300",  "1e300", "1e308", "-1e308",  "5e-324",
                                        "nan",     "inf",   "-inf",  "0.001",   "7.25",
                                        "1000000", "150%",  "-50%",  "2.5e-10", "1.7976931348623157e308"};
  if (below(rng, 3) == 0) return pick(rng, kValues);
  return std::to_string(static_cast<int>(below(rng, 17)) - 8);
}

std::string position(Random &rng) { return number(rng) + " " + number(rng) + " " + number(rng); }

std::string selection(Random &rng) {
  static const char *const kSelections[] = {"all", "0-9", "0-3", "0-7", "0,1",
                                            "2-5", "0-4", "1-9", "9",   "0-11"};
  if (below(rng, 2) == 0) return pick(rng, kSelections);
  return point(rng) + "-" + point(rng) + "," + point(rng);
}

std::string pairs(Random &rng) {
  std::string text;
  const std::size_t count = 1 + below(rng, 5);
  for (std::size_t i = 0; i < count; ++i) text += (i ? "," : "") + point(rng) + ":" + point(rng);
  return text;
}

std::string flags(Random &rng, std::initializer_list<const char *> words) {
  std::string text;
  for (const char *word : words)
    if (below(rng, 3) == 0) text += std::string(" ") + word;
  return text;
}

std::string pickLine(Random &rng) {
  std::string text = "pick";
  if (below(rng, 3) == 0) text += " invert";
  if (below(rng, 2) == 0) text += below(rng, 2) ? " mode offset" : " mode factor";
  if (below(rng, 2) == 0) text += below(rng, 2) ? " symmetry on" : " symmetry off";
  if (below(rng, 3) == 0) text += " factor " + number(rng);
  if (below(rng, 3) == 0) text += " offset " + number(rng);
  return text;
}

std::string pressLine(Random &rng) {
  std::string text = below(rng, 2) ? "press point " + point(rng) : "press " + position(rng);
  text += flags(rng, {"ctrl", "right"});
  if (below(rng, 4) == 0) text += below(rng, 2) ? " handle " + std::to_string(below(rng, 12)) : " start";
  return text;
}

}  // namespace

std::vector<std::string> splitLines(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty() && lines.size() < kMaxSessionLines) {
    const std::size_t end = text.find('\n');
    lines.emplace_back(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
  }
  return lines;
}

std::string joinLines(const std::vector<std::string> &lines) {
  std::string text;
  for (const std::string &line : lines) text += line + "\n";
  return text;
}

std::string scratchName(const std::string &name) {
  if (name.empty()) return name;
  bool plain = name.size() <= 16 && name[0] != '.';
  for (const char c : name)
    plain = plain && (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-');
  if (plain) return name;
  // Keep a short extension, which decides whether a picture's name is refused.
  const std::size_t dot = name.rfind('.');
  std::string extension;
  if (dot != std::string::npos && name.size() - dot <= 5) extension = name.substr(dot);
  for (std::size_t i = 1; i < extension.size(); ++i)
    if (!std::isalnum(static_cast<unsigned char>(extension[i]))) extension.clear();
  return "f" + std::to_string(name.size() % 4) + extension;
}

standin::Command confined(standin::Command command) {
  using standin::CommandOp;
  if (command.op == CommandOp::Save || command.op == CommandOp::Svg || command.op == CommandOp::About)
    command.text = scratchName(command.text);
  return command;
}

std::string madeUpLine(Random &rng) {
  switch (below(rng, 30)) {
    case 0:
    case 1:
    case 2:
      return pickLine(rng);
    case 3:
    case 4:
    case 5:
      return pressLine(rng);
    case 6:
    case 7:
    case 8:
      return "drag " + position(rng) + flags(rng, {"ctrl"});
    case 9:
    case 10:
      return "release";
    case 11:
      return "click " + point(rng) + flags(rng, {"ctrl", "right"});
    case 12:
      return "keep " + position(rng);
    case 13:
      return pick(rng, {"drop", "reset", "activate", "event 3", "event -1", "event 7"});
    case 14:
      return below(rng, 2) ? "mode offset" : "mode factor";
    case 15:
      return "factor " + number(rng);
    case 16:
      return "offset " + number(rng);
    case 17:
      return below(rng, 2) ? "symmetry on" : "symmetry off";
    case 18:
      return "invert";
    case 19:
      return pick(rng, {"about", "about a.png", "panel", "points", "points all", "echo hi"});
    case 20:
      return "svg p" + std::to_string(below(rng, 2)) + ".svg" +
             pick(rng, {"", " top", " front", " side zoom selection", " top zoom mesh"});
    case 21:
    case 22:
      return "select " + selection(rng);
    case 23:
      return "pairs " + pairs(rng);
    case 24:
      return "length " + number(rng) + flags(rng, {"symmetry", "invert"});
    case 25:
      return "match-pair " + std::to_string(below(rng, 6)) + flags(rng, {"symmetry", "invert"});
    case 26:
    case 27:
      return below(rng, 3) ? "undo" : "redo";
    case 28:
      return pick(rng, {"revert", "close"});
    default:
      return pick(rng, {"save", "save m.obj", "save n.obj"});
  }
}

std::string nudgedLine(Random &rng, const std::string &line) {
  // The places where a number starts (after a space).
  std::vector<std::size_t> starts;
  for (std::size_t i = 1; i < line.size(); ++i)
    if (line[i - 1] == ' ' && line[i] != ' ') starts.push_back(i);
  if (starts.empty() || below(rng, 4) == 0)
    return line + pick(rng, {" ctrl", " right", " symmetry", " invert", " start", " handle 1", " 0",
                             " zoom selection"});
  const std::size_t from = starts[below(rng, starts.size())];
  if (!std::isdigit(static_cast<unsigned char>(line[from])) && line[from] != '-') return line;
  std::size_t to = from;
  while (to < line.size() && line[to] != ' ' && line[to] != ',' && line[to] != ':') ++to;
  return line.substr(0, from) + (below(rng, 2) ? number(rng) : point(rng)) + line.substr(to);
}

}  // namespace fuzz
