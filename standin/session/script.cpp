#include "standin/session/script.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <limits>

#include "host/host_abi.h"
#include "standin/host/number_text.h"
#include "standin/session/selection.h"
#include "standin/session/text_input.h"

namespace standin {
namespace {

struct Word {
  std::string text;  // as written (file names, echo text)
  std::string key;   // lower-case, for command names and keywords; empty when quoted
  bool quoted = false;
};

std::string lowerCase(std::string_view text) {
  std::string lower(text);
  for (char &c : lower) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  return lower;
}

// A mistake on the line being read; parseScript names the line.
Failure lineError(const std::string &message) { return Failure(FailureKind::BadInput, message); }

// Splits a line into words; '#' outside quotes ends the line.
std::vector<Word> splitWords(std::string_view line) {
  std::vector<Word> words;
  std::size_t i = 0;
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (i < line.size()) {
    while (i < line.size() && blank(line[i])) ++i;
    if (i >= line.size() || line[i] == '#') break;
    Word word;
    if (line[i] == '"') {
      const std::size_t close = line.find('"', i + 1);
      if (close == std::string_view::npos) throw lineError("missing closing '\"'");
      word.text = std::string(line.substr(i + 1, close - i - 1));
      word.quoted = true;
      i = close + 1;
    } else {
      const std::size_t begin = i;
      while (i < line.size() && !blank(line[i]) && line[i] != '#') ++i;
      word.text = std::string(line.substr(begin, i - begin));
      word.key = lowerCase(word.text);
    }
    words.push_back(std::move(word));
  }
  return words;
}

double parseNumber(const std::string &text, const char *what) {
  double value = 0.0;
  if (standin::parseNumber(text, value) != NumberParse::Ok) {
    throw lineError(std::string(what) + " '" + text + "' is not a number");
  }
  return value;
}

std::size_t parsePoint(const std::string &text) {
  std::uint64_t value = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || ptr != text.data() + text.size() ||
      value > std::numeric_limits<std::size_t>::max()) {
    throw lineError("point index '" + text + "' is not a point index (0, 1, 2, ...)");
  }
  return static_cast<std::size_t>(value);
}

int parseInt(const std::string &text) {
  int value = 0;
  std::string_view digits = text;
  if (digits.size() > 1 && digits[0] == '+') digits.remove_prefix(1);
  auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec != std::errc() || ptr != digits.data() + digits.size()) {
    throw lineError("event code '" + text + "' is not a whole number");
  }
  return value;
}

// The words of one line: words[0] is the command's name.
using Words = std::vector<Word>;

void expectCount(const Words &words, std::size_t min, std::size_t max, const char *usage) {
  const std::size_t args = words.size() - 1;
  if (args < min || args > max) throw lineError("usage: " + std::string(usage));
}

// Flags such as "ctrl" and "right" may come in any order after the fixed
// arguments, each at most once.
void parseFlags(const Words &words, std::size_t from, bool allowRight, ScriptCommand &c) {
  for (std::size_t i = from; i < words.size(); ++i) {
    const std::string &w = words[i].key;
    if (w == "ctrl" && !c.ctrl) {
      c.ctrl = true;
    } else if (w == "right" && allowRight && !c.right) {
      c.right = true;
    } else {
      throw lineError("unexpected '" + words[i].text + "' (expected " +
                      (allowRight ? "ctrl or right" : "ctrl") + ")");
    }
  }
}

void parsePosition(const Words &words, std::size_t from, ScriptCommand &c) {
  static const char *const kAxis[] = {"x", "y", "z"};
  for (std::size_t axis = 0; axis < 3; ++axis)
    c.position[axis] = parseNumber(words[from + axis].text, kAxis[axis]);
}

// One parser a command: each fills in what follows the command's name.
void parsePress(const Words &words, ScriptCommand &c) {
  if (words.size() >= 3 && words[1].key == "point") {
    c.atPoint = true;
    c.point = parsePoint(words[2].text);
    parseFlags(words, 3, true, c);
    return;
  }
  if (words.size() < 4)
    throw lineError("usage: press X Y Z [ctrl] [right]  or  press point N [ctrl] [right]");
  parsePosition(words, 1, c);
  parseFlags(words, 4, true, c);
}

void parseDrag(const Words &words, ScriptCommand &c) {
  if (words.size() < 4) throw lineError("usage: drag X Y Z [ctrl]");
  parsePosition(words, 1, c);
  parseFlags(words, 4, false, c);
}

void parseClick(const Words &words, ScriptCommand &c) {
  if (words.size() < 2) throw lineError("usage: click N [ctrl] [right]");
  c.point = parsePoint(words[1].text);
  parseFlags(words, 2, true, c);
}

void parseEventCode(const Words &words, ScriptCommand &c) {
  expectCount(words, 1, 1, "event CODE");
  c.code = parseInt(words[1].text);
}

void parseMode(const Words &words, ScriptCommand &c) {
  expectCount(words, 1, 1, "mode factor|offset");
  const std::string &mode = words[1].key;
  if (mode != "factor" && mode != "offset")
    throw lineError("unknown mode '" + words[1].text + "' (expected factor or offset)");
  c.code = mode == "factor" ? 0 : 1;
}

void parseFactor(const Words &words, ScriptCommand &c) {
  expectCount(words, 1, 1, "factor F  (or factor P%)");
  if (standin::parseFactor(words[1].text, c.value) != NumberParse::Ok)
    throw lineError("factor '" + words[1].text + "' is not a number");
}

void parseOffset(const Words &words, ScriptCommand &c) {
  expectCount(words, 1, 1, "offset D");
  c.value = parseNumber(words[1].text, "offset");
}

void parseSymmetry(const Words &words, ScriptCommand &c) {
  expectCount(words, 1, 1, "symmetry on|off");
  const std::string &value = words[1].key;
  if (value != "on" && value != "off")
    throw lineError("symmetry takes on or off, not '" + words[1].text + "'");
  c.code = value == "on" ? 1 : 0;
}

// Refuses a picture file named as another kind of file.
void checkPictureName(const std::string &command, const std::string &file, std::string_view kind) {
  const std::string problem = pictureNameProblem(command, file, kind);
  if (!problem.empty()) throw lineError(problem);
}

// svg FILE, then a view and "zoom selection|mesh" in either order, each at most once.
void parseSvg(const Words &words, ScriptCommand &c) {
  expectCount(words, 1, 4, "svg FILE [top|front|side] [zoom selection|mesh]");
  c.text = words[1].text;
  checkPictureName("svg", c.text, "svg");
  bool view = false, zoom = false;
  for (std::size_t i = 2; i < words.size(); ++i) {
    const std::string &word = words[i].key;
    if (word == "zoom") {
      if (zoom) throw lineError("zoom is given twice");
      if (i + 1 == words.size()) throw lineError("zoom takes selection or mesh");
      if (!parseViewZoom(words[i + 1].key, c.zoom))
        throw lineError("zoom takes selection or mesh, not '" + words[i + 1].text + "'");
      zoom = true, ++i;
    } else if (const ViewAxis given = c.view; parseViewAxis(word, c.view)) {
      if (view)
        throw lineError("the view is given twice ('" + std::string(viewAxisName(given)) + "' and '" +
                        words[i].text + "')");
      view = true;
    } else {
      throw lineError(view ? "unexpected '" + words[i].text + "' (expected zoom selection or zoom mesh)"
                           : "unknown view '" + words[i].text + "' (expected top, front or side)");
    }
  }
}

void parseEcho(const Words &words, ScriptCommand &c) {
  for (std::size_t i = 1; i < words.size(); ++i) {
    if (i > 1) c.text += ' ';
    c.text += words[i].text;
  }
}

// Commands whose one argument is a file or a selection.
void parseAbout(const Words &words, ScriptCommand &c) {
  expectCount(words, 0, 1, "about [FILE.png]");
  if (words.size() == 2) c.text = words[1].text;
  checkPictureName("about", c.text, "png");
}

void parsePoints(const Words &words, ScriptCommand &c) {
  expectCount(words, 0, 1, "points [SELECTION]");
  if (words.size() == 2) c.text = words[1].quoted ? words[1].text : words[1].key;
}

void parseSelect(const Words &words, ScriptCommand &c) {
  expectCount(words, 1, 1, "select SELECTION  (for example 0-3,8,9)");
  c.text = words[1].quoted ? words[1].text : words[1].key;
}

// The pairs' syntax is checked now, their indices against the mesh when the
// command runs.
void parsePairsCommand(const Words &words, ScriptCommand &c) {
  if (words.size() < 2)
    throw lineError("usage: pairs H:A [H:A ...]  (handle end:anchor end, for example 4:0 5:1)");
  // Words are pairs, or parts of a comma-separated list ("4:0, 5:1").
  for (std::size_t i = 1; i < words.size(); ++i) {
    const std::string &word = words[i].text;
    if (!c.text.empty() && c.text.back() != ',' && (word.empty() || word.front() != ',')) c.text += ',';
    c.text += word;
  }
  parsePairs(c.text, std::numeric_limits<std::size_t>::max());
}

void parseSave(const Words &words, ScriptCommand &c) {
  expectCount(words, 1, 1, "save FILE");
  c.text = words[1].text;
}

// A command without arguments: its usage is its name alone.
void parseBare(const Words &words, ScriptCommand &) { expectCount(words, 0, 0, words[0].key.c_str()); }

struct CommandEntry {
  const char *name;
  ScriptOp op;
  int code;  // the event code of drop, reset and activate
  void (*parse)(const Words &, ScriptCommand &);
};

const CommandEntry kCommands[] = {
    {"pick", ScriptOp::Pick, 0, parseBare},
    {"press", ScriptOp::Press, 0, parsePress},
    {"drag", ScriptOp::Drag, 0, parseDrag},
    {"release", ScriptOp::Release, 0, parseBare},
    {"click", ScriptOp::Click, 0, parseClick},
    {"drop", ScriptOp::Event, LWT_EVENT_DROP, parseBare},
    {"reset", ScriptOp::Event, LWT_EVENT_RESET, parseBare},
    {"activate", ScriptOp::Event, LWT_EVENT_ACTIVATE, parseBare},
    {"event", ScriptOp::Event, 0, parseEventCode},
    {"mode", ScriptOp::Mode, 0, parseMode},
    {"factor", ScriptOp::Factor, 0, parseFactor},
    {"offset", ScriptOp::Offset, 0, parseOffset},
    {"symmetry", ScriptOp::Symmetry, 0, parseSymmetry},
    {"invert", ScriptOp::Invert, 0, parseBare},
    {"about", ScriptOp::About, 0, parseAbout},
    {"panel", ScriptOp::Panel, 0, parseBare},
    {"svg", ScriptOp::Svg, 0, parseSvg},
    {"points", ScriptOp::Points, 0, parsePoints},
    {"select", ScriptOp::Select, 0, parseSelect},
    {"pairs", ScriptOp::Pairs, 0, parsePairsCommand},
    {"save", ScriptOp::Save, 0, parseSave},
    {"echo", ScriptOp::Echo, 0, parseEcho},
    {"close", ScriptOp::Close, 0, parseBare},
};

ScriptCommand parseLine(const Words &words) {
  const std::string &name = words[0].key;
  for (const CommandEntry &entry : kCommands) {
    if (name != entry.name) continue;
    ScriptCommand c;
    c.op = entry.op;
    c.code = entry.code;
    entry.parse(words, c);
    return c;
  }
  throw lineError("unknown command '" + words[0].text + "'");
}

std::string number(double value) { return formatNumber(value); }

// A word splitWords reads back as `text`: bare when it can be, else in
// quotes. Words the parser gives never need both (a quoted word holds no '"',
// a bare one no blank or '#').
std::string wordFor(const std::string &text) {
  const bool bare = !text.empty() && text.front() != '"' && text.find_first_of(" \t\r#") == std::string::npos;
  return bare ? text : "\"" + text + "\"";
}

// Echo's text is its words joined by single blanks: written back a piece
// between blanks at a time, so that runs of blanks, quotes and '#' inside
// quoted words survive.
std::string echoWords(const std::string &text) {
  std::string out;
  std::size_t start = 0;
  while (true) {
    const std::size_t blank = text.find(' ', start);
    out += ' ';
    out += wordFor(text.substr(start, blank == std::string::npos ? std::string::npos : blank - start));
    if (blank == std::string::npos) return out;
    start = blank + 1;
  }
}

}  // namespace

Script parseScript(std::string_view text, const std::string &name) {
  Script script;
  script.name = name;
  std::size_t lineNumber = 0;
  std::size_t start = byteOrderMarkLength(text);
  while (start < text.size()) {
    ++lineNumber;
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    try {
      const std::vector<Word> words = splitWords(line);
      if (words.empty()) continue;
      ScriptCommand command = parseLine(words);
      command.line = lineNumber;
      script.commands.push_back(std::move(command));
    } catch (const Failure &error) {
      throw error.at(name, lineNumber);
    }
  }
  return script;
}

std::string pictureNameProblem(const std::string &writer, const std::string &file, std::string_view kind) {
  static const char *const kKnown[] = {".svg", ".png",  ".jpg", ".jpeg", ".gif",
                                       ".bmp", ".webp", ".tif", ".tiff", ".pdf"};
  const std::filesystem::path name(file);
  const std::string extension = lowerCase(name.extension().string());
  if (extension.empty() || extension.substr(1) == kind) return {};
  if (std::find(std::begin(kKnown), std::end(kKnown), extension) == std::end(kKnown)) return {};
  std::string upper(kind);
  for (char &c : upper) c = static_cast<char>(c - 'a' + 'A');
  std::filesystem::path fitting = name;
  fitting.replace_extension(std::string(".") + std::string(kind));
  return writer + " writes " + (kind == "svg" ? "an " : "a ") + upper + " picture, not " + extension +
         ": name it '" + fitting.string() + "'";
}

std::string describeCommand(const ScriptCommand &c) {
  auto flags = [&] { return std::string(c.ctrl ? " ctrl" : "") + (c.right ? " right" : ""); };
  auto position = [&] {
    return number(c.position[0]) + " " + number(c.position[1]) + " " + number(c.position[2]);
  };
  switch (c.op) {
    case ScriptOp::Pick:
      return "pick";
    case ScriptOp::Press:
      return (c.atPoint ? "press point " + std::to_string(c.point) : "press " + position()) + flags();
    case ScriptOp::Drag:
      return "drag " + position() + flags();
    case ScriptOp::Release:
      return "release";
    case ScriptOp::Click:
      return "click " + std::to_string(c.point) + flags();
    case ScriptOp::Event:
      switch (c.code) {
        case 0:
          return "drop";
        case 1:
          return "reset";
        case 2:
          return "activate";
        default:
          return "event " + std::to_string(c.code);
      }
    case ScriptOp::Mode:
      return c.code == 0 ? "mode factor" : "mode offset";
    case ScriptOp::Factor:
      return "factor " + number(c.value);
    case ScriptOp::Offset:
      return "offset " + number(c.value);
    case ScriptOp::Symmetry:
      return c.code != 0 ? "symmetry on" : "symmetry off";
    case ScriptOp::Invert:
      return "invert";
    case ScriptOp::About:
      return c.text.empty() ? "about" : "about " + wordFor(c.text);
    case ScriptOp::Panel:
      return "panel";
    case ScriptOp::Svg:
      return "svg " + wordFor(c.text) + " " + viewAxisName(c.view) +
             (c.zoom == ViewZoom::Selection ? " zoom selection" : "");
    case ScriptOp::Points:
      return c.text.empty() ? "points" : "points " + wordFor(c.text);
    case ScriptOp::Select:
      return "select " + wordFor(c.text);
    case ScriptOp::Pairs:
      return "pairs " + wordFor(c.text);
    case ScriptOp::Save:
      return "save " + wordFor(c.text);
    case ScriptOp::Echo:
      return c.text.empty() ? "echo" : "echo" + echoWords(c.text);
    case ScriptOp::Close:
      return "close";
  }
  return "?";
}

}  // namespace standin
