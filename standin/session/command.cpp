#include "standin/session/command.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <limits>
#include <nlohmann/json.hpp>
#include <vector>

#include "host/host_abi.h"
#include "standin/host/failure.h"
#include "standin/host/number_text.h"
#include "standin/session/nearest_word.h"
#include "standin/session/point_pairs.h"
#include "standin/session/selection.h"

namespace standin {
namespace {

using nlohmann::json;

Failure mistake(const std::string &message) { return Failure(FailureKind::BadInput, message); }

std::string lowerCase(std::string_view text) {
  std::string lower(text);
  for (char &c : lower) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  return lower;
}

// ---- words of a script line

struct Word {
  std::string text;  // as written (file names, echo text)
  std::string key;   // lower-case, for command names and keywords; empty when quoted
  bool quoted = false;
};
using Words = std::vector<Word>;

// Splits a line into words; '#' outside quotes ends the line.
Words splitWords(std::string_view line) {
  Words words;
  std::size_t i = 0;
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (i < line.size()) {
    while (i < line.size() && blank(line[i])) ++i;
    if (i >= line.size() || line[i] == '#') break;
    Word word;
    if (line[i] == '"') {
      const std::size_t close = line.find('"', i + 1);
      if (close == std::string_view::npos) throw mistake("missing closing '\"'");
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

double numberWord(const std::string &text, const char *what) {
  double value = 0.0;
  if (parseNumber(text, value) != NumberParse::Ok)
    throw mistake(std::string(what) + " '" + text + "' is not a number");
  return value;
}

std::size_t pointWord(const std::string &text, const char *what = "point index") {
  std::uint64_t value = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || ptr != text.data() + text.size() ||
      value > std::numeric_limits<std::size_t>::max())
    throw mistake(std::string(what) + " '" + text + "' is not a " + what + " (0, 1, 2, ...)");
  return static_cast<std::size_t>(value);
}

int intWord(const std::string &text, const char *what) {
  int value = 0;
  std::string_view digits = text;
  if (digits.size() > 1 && digits[0] == '+') digits.remove_prefix(1);
  auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec != std::errc() || ptr != digits.data() + digits.size())
    throw mistake(std::string(what) + " '" + text + "' is not a whole number");
  return value;
}

void expectCount(const Words &words, std::size_t min, std::size_t max, const char *usage) {
  const std::size_t args = words.size() - 1;
  if (args < min || args > max) throw mistake("usage: " + std::string(usage));
}

// A word splitWords reads back as `text`: bare when it can be, else in
// quotes. Words the parser gives never need both (a quoted word holds no '"',
// a bare one no blank or '#').
std::string wordFor(const std::string &text) {
  const bool bare = !text.empty() && text.front() != '"' && text.find_first_of(" \t\r#") == std::string::npos;
  return bare ? text : "\"" + text + "\"";
}

// Whether `text` can be written as one word of a script line: a line break
// cannot, nor can a double quote in a word that needs quotes (one with a
// blank or '#', or that starts with a quote): a quoted word ends at the next
// quote.
bool fitsOneWord(const std::string &text) {
  if (text.find('\n') != std::string::npos) return false;
  if (text.find('"') == std::string::npos) return true;
  return text.front() != '"' && text.find_first_of(" \t\r#") == std::string::npos;
}

// Selections are read in lower case unless quoted ("ALL" is "all"); a
// printed one is quoted when its lower case would read as another text.
std::string selectionWord(const Word &word) { return word.quoted ? word.text : word.key; }
std::string selectionFor(const std::string &text) {
  return lowerCase(text) == text ? wordFor(text) : "\"" + text + "\"";
}

std::string num(double value) { return formatNumber(value); }

// ---- JSON fields of one body

class Fields {
 public:
  Fields(const json &body, const std::vector<const char *> &allowed) : body_(body) {
    std::string names;
    for (const char *name : allowed) names += std::string(names.empty() ? "" : ", ") + name;
    for (const auto &[key, value] : body.items()) {
      bool known = key == "command";
      for (const char *name : allowed) known = known || key == name;
      if (!known)
        throw mistake("unknown field '" + key + "'" +
                      (names.empty() ? " (it takes none)" : " (it takes " + names + ")"));
    }
  }

  bool has(const char *name) const { return body_.contains(name); }

  std::array<double, 3> position(const char *name) const {
    const json &v = need(name, "is required: [x, y, z]");
    if (!v.is_array() || v.size() != 3) throw bad(name, "must be three numbers [x, y, z]");
    std::array<double, 3> p{};
    for (std::size_t i = 0; i < 3; ++i) p[i] = finite(v[i], name);
    return p;
  }
  bool flag(const char *name) const {
    const json *v = find(name);
    if (v == nullptr) return false;
    if (!v->is_boolean()) throw bad(name, "must be true or false");
    return v->get<bool>();
  }
  double number(const char *name) const { return finite(need(name, "is required"), name); }
  std::uint64_t count(const char *name) const {
    const json &v = need(name, "is required");
    if (!v.is_number_unsigned()) throw bad(name, "must be a whole number from 0");
    return v.get<std::uint64_t>();
  }
  int integer(const char *name) const {
    const json &v = need(name, "is required");
    if (!v.is_number_integer() || v.get<std::int64_t>() < std::numeric_limits<int>::min() ||
        v.get<std::int64_t>() > std::numeric_limits<int>::max())
      throw bad(name, "must be a whole number that fits in 32 bits");
    return static_cast<int>(v.get<std::int64_t>());
  }
  // Any text: one the text form does not carry (open's file contents).
  std::string anyText(const char *name) const {
    const json &v = need(name, "is required");
    if (!v.is_string()) throw bad(name, "must be a text");
    return v.get<std::string>();
  }
  // A text a script line can hold (see fitsOneWord; echo's words one by one),
  // so that every command has its text form.
  std::string text(const char *name, bool words = false) const {
    const json &v = need(name, "is required");
    if (!v.is_string()) throw bad(name, "must be a text");
    std::string text = v.get<std::string>();
    for (std::size_t start = 0; start <= text.size();) {
      const std::size_t end = words ? std::min(text.find(' ', start), text.size()) : text.size();
      if (!fitsOneWord(text.substr(start, end - start)))
        throw bad(name,
                  "cannot be written in a script line: it holds a line break, or a double quote in a "
                  "word with a blank or '#' or that starts with one");
      start = end + 1;
    }
    return text;
  }
  const json *find(const char *name) const {
    auto it = body_.find(name);
    return it == body_.end() ? nullptr : &*it;
  }
  Failure bad(const char *name, const std::string &what) const {
    return mistake("'" + std::string(name) + "' " + what);
  }

 private:
  const json &need(const char *name, const char *what) const {
    const json *v = find(name);
    if (v == nullptr) throw bad(name, what);
    return *v;
  }
  double finite(const json &v, const char *name) const {
    if (!v.is_number()) throw bad(name, "must be a number");
    const double d = v.get<double>();
    if (!std::isfinite(d)) throw bad(name, "must be a finite number");
    return d;
  }

  const json &body_;
};

void putPosition(json &out, const std::array<double, 3> &p) { out["position"] = {p[0], p[1], p[2]}; }
void putFlag(json &out, const char *name, bool on) {
  if (on) out[name] = true;
}
void putText(json &out, const char *name, const std::string &text) {
  if (!text.empty()) out[name] = text;
}

// ---- each command's forms: parse (words after the name), print (the text
// after the name), read (JSON fields) and write (JSON fields)

// Flags after the fixed arguments, in any order, each at most once: ctrl,
// right, and a press's "handle N" or "start".
struct FlagRules {
  bool right = false;
  bool grab = false;
};

void parseFlags(const Words &words, std::size_t from, FlagRules rules, Command &c) {
  bool grabbed = false;
  for (std::size_t i = from; i < words.size(); ++i) {
    const std::string &w = words[i].key;
    if (w == "ctrl" && !c.ctrl) {
      c.ctrl = true;
    } else if (w == "right" && rules.right && !c.right) {
      c.right = true;
    } else if (rules.grab && !grabbed && w == "start") {
      c.grab = Grab::Start, grabbed = true;
    } else if (rules.grab && !grabbed && w == "handle" && i + 1 < words.size()) {
      const std::size_t index = pointWord(words[++i].text, "handle index");
      if (index > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        throw mistake("handle index '" + words[i].text + "' is too large");
      c.grab = Grab::Handle, c.handle = static_cast<int>(index), grabbed = true;
    } else {
      throw mistake("unexpected '" + words[i].text + "' (expected " +
                    (rules.grab    ? "ctrl, right, handle N or start"
                     : rules.right ? "ctrl or right"
                                   : "ctrl") +
                    ")");
    }
  }
}

std::string flagsText(const Command &c) {
  std::string text = std::string(c.ctrl ? " ctrl" : "") + (c.right ? " right" : "");
  if (c.op != CommandOp::Press || c.grab == Grab::Nearest) return text;
  return text + (c.grab == Grab::Start ? " start" : " handle " + std::to_string(c.handle));
}

void parsePosition(const Words &words, std::size_t from, Command &c) {
  static const char *const kAxis[] = {"x", "y", "z"};
  for (std::size_t axis = 0; axis < 3; ++axis)
    c.position[axis] = numberWord(words[from + axis].text, kAxis[axis]);
}
std::string positionText(const Command &c) {
  return " " + num(c.position[0]) + " " + num(c.position[1]) + " " + num(c.position[2]);
}

void parsePress(const Words &words, Command &c) {
  if (words.size() >= 3 && words[1].key == "point") {
    c.atPoint = true;
    c.point = pointWord(words[2].text);
    return parseFlags(words, 3, {true, true}, c);
  }
  if (words.size() < 4)
    throw mistake("usage: press X Y Z [ctrl] [right] [handle N|start]  or  press point N ...");
  parsePosition(words, 1, c);
  parseFlags(words, 4, {true, true}, c);
}
std::string printPress(const Command &c) {
  return (c.atPoint ? " point " + std::to_string(c.point) : positionText(c)) + flagsText(c);
}
void readPress(const Fields &f, Command &c) {
  if (f.has("point") && f.has("position")) throw mistake("give 'position' or 'point', not both");
  if (f.has("point")) {
    c.atPoint = true;
    c.point = static_cast<std::size_t>(f.count("point"));
  } else {
    c.position = f.position("position");
  }
  c.ctrl = f.flag("ctrl");
  c.right = f.flag("right");
  if (const json *h = f.find("handle")) {
    if (h->is_string() && h->get<std::string>() == "start") {
      c.grab = Grab::Start;
    } else if (h->is_number_unsigned() && h->get<std::uint64_t>() <= std::numeric_limits<int>::max()) {
      c.grab = Grab::Handle, c.handle = h->get<int>();
    } else {
      throw f.bad("handle", "must be a handle index (0, 1, ...) or \"start\"");
    }
  }
}
void writePress(const Command &c, json &out) {
  if (c.atPoint)
    out["point"] = c.point;
  else
    putPosition(out, c.position);
  putFlag(out, "ctrl", c.ctrl);
  putFlag(out, "right", c.right);
  if (c.grab == Grab::Handle) out["handle"] = c.handle;
  if (c.grab == Grab::Start) out["handle"] = "start";
}

void parseDrag(const Words &words, Command &c) {
  if (words.size() < 4) throw mistake("usage: drag X Y Z [ctrl]");
  parsePosition(words, 1, c);
  parseFlags(words, 4, {}, c);
}
std::string printDrag(const Command &c) { return positionText(c) + flagsText(c); }
void readDrag(const Fields &f, Command &c) {
  c.position = f.position("position");
  c.ctrl = f.flag("ctrl");
}
void writeDrag(const Command &c, json &out) {
  putPosition(out, c.position);
  putFlag(out, "ctrl", c.ctrl);
}

void parseClick(const Words &words, Command &c) {
  if (words.size() < 2) throw mistake("usage: click N [ctrl] [right]");
  c.point = pointWord(words[1].text);
  parseFlags(words, 2, {true, false}, c);
}
std::string printClick(const Command &c) { return " " + std::to_string(c.point) + flagsText(c); }
void readClick(const Fields &f, Command &c) {
  c.point = static_cast<std::size_t>(f.count("point"));
  c.ctrl = f.flag("ctrl");
  c.right = f.flag("right");
}
void writeClick(const Command &c, json &out) {
  out["point"] = c.point;
  putFlag(out, "ctrl", c.ctrl);
  putFlag(out, "right", c.right);
}

void parseKeep(const Words &words, Command &c) {
  expectCount(words, 3, 3, "keep X Y Z");
  parsePosition(words, 1, c);
}
std::string printKeep(const Command &c) { return positionText(c); }
void readKeep(const Fields &f, Command &c) {
  if (f.has("position")) c.position = f.position("position");
}
void writeKeep(const Command &c, json &out) { putPosition(out, c.position); }

void parseEvent(const Words &words, Command &c) {
  expectCount(words, 1, 1, "event CODE");
  c.code = intWord(words[1].text, "event code");
}
std::string printEvent(const Command &c) { return " " + std::to_string(c.code); }
void readEvent(const Fields &f, Command &c) { c.code = f.integer("code"); }
void writeEvent(const Command &c, json &out) { out["code"] = c.code; }

int modeWord(const std::string &key, const std::string &text) {
  if (key != "factor" && key != "offset")
    throw mistake("unknown mode '" + text + "' (expected factor or offset)");
  return key == "factor" ? 0 : 1;
}
const char *modeName(int mode) { return mode == 0 ? "factor" : "offset"; }
bool onOffWord(const std::string &key, const std::string &text) {
  if (key != "on" && key != "off") throw mistake("symmetry takes on or off, not '" + text + "'");
  return key == "on";
}
// on-failure's word: 0 stop, 1 continue.
int thenWord(const std::string &key, const std::string &text) {
  if (key != "stop" && key != "continue")
    throw mistake("on-failure takes stop or continue, not '" + text + "'");
  return key == "continue" ? 1 : 0;
}
const char *thenName(int code) { return code != 0 ? "continue" : "stop"; }
double factorWord(const std::string &text) {
  double value = 0.0;
  if (parseFactor(text, value) != NumberParse::Ok) throw mistake("factor '" + text + "' is not a number");
  return value;
}

void parseMode(const Words &words, Command &c) {
  expectCount(words, 1, 1, "mode factor|offset");
  c.code = modeWord(words[1].key, words[1].text);
}
std::string printMode(const Command &c) { return std::string(" ") + modeName(c.code); }
void readMode(const Fields &f, Command &c) {
  const std::string mode = f.text("mode");
  c.code = modeWord(mode, mode);
}
void writeMode(const Command &c, json &out) { out["mode"] = modeName(c.code); }

void parseFactorCommand(const Words &words, Command &c) {
  expectCount(words, 1, 1, "factor F  (or factor P%)");
  c.value = factorWord(words[1].text);
}
void parseOffset(const Words &words, Command &c) {
  expectCount(words, 1, 1, "offset D");
  c.value = numberWord(words[1].text, "offset");
}
std::string printValue(const Command &c) { return " " + num(c.value); }
void readValue(const Fields &f, Command &c) { c.value = f.number("value"); }
void writeValue(const Command &c, json &out) { out["value"] = c.value; }

void parseSymmetry(const Words &words, Command &c) {
  expectCount(words, 1, 1, "symmetry on|off");
  c.code = onOffWord(words[1].key, words[1].text) ? 1 : 0;
}
std::string printSymmetry(const Command &c) { return c.code != 0 ? " on" : " off"; }
void readSymmetry(const Fields &f, Command &c) { c.code = f.flag("on") ? 1 : 0; }
void writeSymmetry(const Command &c, json &out) { out["on"] = c.code != 0; }

void parseOnFailure(const Words &words, Command &c) {
  expectCount(words, 1, 1, "on-failure stop|continue");
  c.code = thenWord(words[1].key, words[1].text);
}
std::string printOnFailure(const Command &c) { return std::string(" ") + thenName(c.code); }
void readOnFailure(const Fields &f, Command &c) {
  const std::string then = f.text("then");
  c.code = thenWord(then, then);
}
void writeOnFailure(const Command &c, json &out) { out["then"] = thenName(c.code); }

// Refuses a picture file named as another kind of file.
void checkPictureName(const std::string &command, const std::string &file, std::string_view kind) {
  const std::string problem = pictureNameProblem(command, file, kind);
  if (!problem.empty()) throw mistake(problem);
}

void parseAbout(const Words &words, Command &c) {
  expectCount(words, 0, 1, "about [FILE.png]");
  if (words.size() == 2) c.text = words[1].text;
  checkPictureName("about", c.text, "png");
}
std::string printFile(const Command &c) { return c.text.empty() ? "" : " " + wordFor(c.text); }
void readFile(const Fields &f, Command &c) {
  if (f.has("file")) c.text = f.text("file");
  if (f.has("file") && c.text.empty()) throw f.bad("file", "must name a file");
}
void readAbout(const Fields &f, Command &c) {
  readFile(f, c);
  checkPictureName("about", c.text, "png");
}
void writeFile(const Command &c, json &out) { putText(out, "file", c.text); }

// svg FILE, then a view and "zoom selection|mesh" in either order, each at most once.
void parseSvgOptions(const Words &words, Command &c) {
  bool view = false, zoom = false;
  for (std::size_t i = 2; i < words.size(); ++i) {
    const std::string &word = words[i].key;
    if (word == "zoom") {
      if (zoom) throw mistake("zoom is given twice");
      if (i + 1 == words.size()) throw mistake("zoom takes selection or mesh");
      if (!parseViewZoom(words[i + 1].key, c.zoom))
        throw mistake("zoom takes selection or mesh, not '" + words[i + 1].text + "'");
      zoom = true, ++i;
    } else if (const ViewAxis given = c.view; parseViewAxis(word, c.view)) {
      if (view)
        throw mistake("the view is given twice ('" + std::string(viewAxisName(given)) + "' and '" +
                      words[i].text + "')");
      view = true;
    } else {
      throw mistake(view ? "unexpected '" + words[i].text + "' (expected zoom selection or zoom mesh)"
                         : "unknown view '" + words[i].text + "' (expected top, front or side)");
    }
  }
}
void parseSvg(const Words &words, Command &c) {
  expectCount(words, 1, 4, "svg FILE [top|front|side] [zoom selection|mesh]");
  c.text = words[1].text;
  checkPictureName("svg", c.text, "svg");
  parseSvgOptions(words, c);
}
std::string printSvg(const Command &c) {
  return " " + wordFor(c.text) + " " + viewAxisName(c.view) +
         (c.zoom == ViewZoom::Selection ? " zoom selection" : "");
}
void readSvg(const Fields &f, Command &c) {
  c.text = f.text("file");
  if (c.text.empty()) throw f.bad("file", "must name a file");
  checkPictureName("svg", c.text, "svg");
  if (f.has("view") && !parseViewAxis(f.text("view"), c.view))
    throw f.bad("view", "must be \"top\", \"front\" or \"side\"");
  if (f.has("zoom") && !parseViewZoom(f.text("zoom"), c.zoom))
    throw f.bad("zoom", "must be \"mesh\" or \"selection\"");
}
void writeSvg(const Command &c, json &out) {
  out["file"] = c.text;
  out["view"] = viewAxisName(c.view);
  if (c.zoom == ViewZoom::Selection) out["zoom"] = viewZoomName(c.zoom);
}

void parsePoints(const Words &words, Command &c) {
  expectCount(words, 0, 1, "points [SELECTION]");
  if (words.size() == 2) c.text = selectionWord(words[1]);
}
// A trailing "pick" (select, pairs, pairs-from-edges): the words before it.
std::size_t pickWord(const Words &words, Command &c) {
  c.repick = words.size() > 1 && words.back().key == "pick";
  return words.size() - (c.repick ? 1 : 0);
}
std::string printPickWord(const Command &c) { return c.repick ? " pick" : ""; }
void parseSelect(const Words &words, Command &c) {
  const std::size_t end = pickWord(words, c);
  if (end != 2) throw mistake("usage: select SELECTION [pick]  (for example 0-3,8,9)");
  c.text = selectionWord(words[1]);
  if (c.text.empty()) throw mistake("select takes a selection, not an empty text");
}
std::string printSelection(const Command &c) {
  return (c.text.empty() ? "" : " " + selectionFor(c.text)) + printPickWord(c);
}
void readSelection(const Fields &f, Command &c) {
  if (f.has("selection") || c.op == CommandOp::Select) c.text = f.text("selection");
  if (c.text.find('"') != std::string::npos) throw f.bad("selection", "holds a double quote");
  if (c.op == CommandOp::Select && c.text.empty()) throw f.bad("selection", "must not be empty");
  c.repick = f.flag("pick");
}
void writeSelection(const Command &c, json &out) {
  if (c.op == CommandOp::Select || !c.text.empty()) out["selection"] = c.text;
  putFlag(out, "pick", c.repick);
}

// The pairs' syntax is checked now, their indices against the mesh when the
// command runs.
void parsePairsCommand(const Words &words, Command &c) {
  const std::size_t end = pickWord(words, c);
  if (end < 2)
    throw mistake("usage: pairs H:A [H:A ...] [pick]  (handle end:anchor end, for example 4:0 5:1)");
  // Words are pairs, or parts of a comma-separated list ("4:0, 5:1").
  for (std::size_t i = 1; i < end; ++i) {
    const std::string &word = words[i].text;
    if (!c.text.empty() && c.text.back() != ',' && (word.empty() || word.front() != ',')) c.text += ',';
    c.text += word;
  }
  parsePairs(c.text, std::numeric_limits<std::size_t>::max());
}
std::string printPairs(const Command &c) { return " " + wordFor(c.text) + printPickWord(c); }
void readPairs(const Fields &f, Command &c) {
  c.text = f.text("pairs");
  parsePairs(c.text, std::numeric_limits<std::size_t>::max());
  c.repick = f.flag("pick");
}
void writePairs(const Command &c, json &out) {
  out["pairs"] = c.text;
  putFlag(out, "pick", c.repick);
}

// pairs-from-edges [x|y|z [within DEG]] [pick]
double withinDegrees(double degrees) {
  if (!std::isfinite(degrees) || degrees < 0.0 || degrees > 90.0)
    throw mistake("within takes degrees from 0 to 90");
  return degrees;
}
void parseEdgePairs(const Words &words, Command &c) {
  const std::size_t end = pickWord(words, c);
  const char *usage = "usage: pairs-from-edges [x|y|z [within DEGREES]] [pick]";
  c.code = -1;
  c.value = kAlongAxisDegrees;
  if (end == 1) return;
  const std::optional<int> axis = parseAxis(words[1].key);
  if (!axis || (end != 2 && end != 4)) throw mistake(usage);
  c.code = *axis;
  if (end == 4 && words[2].key != "within") throw mistake(usage);
  if (end == 4) c.value = withinDegrees(numberWord(words[3].text, "within"));
}
std::string printEdgePairs(const Command &c) {
  std::string text;
  if (c.code >= 0 && c.code <= 2) text += std::string(" ") + "xyz"[c.code];
  if (c.code >= 0 && c.value != kAlongAxisDegrees) text += " within " + num(c.value);
  return text + printPickWord(c);
}
void readEdgePairs(const Fields &f, Command &c) {
  c.code = -1;
  c.value = kAlongAxisDegrees;
  c.repick = f.flag("pick");
  if (f.has("axis")) {
    const std::optional<int> axis = parseAxis(f.text("axis"));
    if (!axis) throw f.bad("axis", "must be \"x\", \"y\" or \"z\"");
    c.code = *axis;
  }
  if (f.has("within") && c.code < 0) throw f.bad("within", "needs an axis");
  if (f.has("within")) c.value = withinDegrees(f.number("within"));
}
void writeEdgePairs(const Command &c, json &out) {
  if (c.code >= 0 && c.code <= 2) out["axis"] = std::string(1, "xyz"[c.code]);
  if (c.code >= 0 && c.value != kAlongAxisDegrees) out["within"] = c.value;
  putFlag(out, "pick", c.repick);
}

// open FILE [checksum HEX]; the JSON form may carry the text instead.
std::string checksumWord(const std::string &text) {
  const bool hex = text.size() == 16 && std::all_of(text.begin(), text.end(), [](char ch) {
                     return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f');
                   });
  if (!hex) throw mistake("a checksum is 16 hex digits (0-9, a-f), not '" + text + "'");
  return text;
}
// A name the text form can hold: no line break, no '"' (it is written in quotes).
std::string openName(const std::string &name) {
  if (name.empty()) throw mistake("open needs a file name");
  for (char ch : name)
    if (static_cast<unsigned char>(ch) < 0x20 || ch == '"' || ch == 0x7f)
      throw mistake("the file name holds a character a script line cannot (a control character or '\"')");
  return name;
}
void parseOpen(const Words &words, Command &c) {
  if ((words.size() != 2 && words.size() != 4) || (words.size() == 4 && words[2].key != "checksum"))
    throw mistake("usage: open FILE [checksum HEX]");
  c.text = openName(words[1].text);
  if (words.size() == 4) c.checksum = checksumWord(words[3].key);
}
std::string printOpen(const Command &c) {
  return " " + wordFor(c.text) + (c.checksum.empty() ? "" : " checksum " + c.checksum);
}
void readOpen(const Fields &f, Command &c) {
  c.text = openName(f.text("file"));
  if (f.has("checksum")) c.checksum = checksumWord(f.text("checksum"));
  if (f.has("text")) c.contents = f.anyText("text");  // the log names the file and its checksum
}
void writeOpen(const Command &c, json &out) {
  out["file"] = c.text;
  if (!c.checksum.empty()) out["checksum"] = c.checksum;
  if (c.contents) out["text"] = *c.contents;
}

// The pair numbers of "only", checked for their syntax (against the pairs
// when the command runs).
std::string onlyPairs(const std::string &text) {
  if (text.empty()) throw mistake("only takes pair numbers, for example 0-2,5");
  checkSelectionText(text);
  return text;
}

// length L / match-pair N, then symmetry, invert and "only PAIRS" in any order.
void parseLengthFlags(const Words &words, Command &c) {
  for (std::size_t i = 2; i < words.size(); ++i) {
    if (words[i].key == "symmetry" && !c.preset.symmetry) {
      c.preset.symmetry = true;
    } else if (words[i].key == "invert" && !c.preset.invert) {
      c.preset.invert = true;
    } else if (words[i].key == "only" && c.text.empty() && i + 1 < words.size()) {
      c.text = onlyPairs(selectionWord(words[++i]));
    } else {
      throw mistake("unexpected '" + words[i].text + "' (expected symmetry, invert or only PAIRS)");
    }
  }
}
double lengthValue(double value) {
  if (!std::isfinite(value) || value < 0.0) throw mistake("a length is a finite number, 0 or more");
  return value;
}
void parseLength(const Words &words, Command &c) {
  if (words.size() < 2) throw mistake("usage: length L [symmetry] [invert] [only PAIRS]");
  c.value = lengthValue(numberWord(words[1].text, "length"));
  parseLengthFlags(words, c);
}
void parseMatchPair(const Words &words, Command &c) {
  if (words.size() < 2) throw mistake("usage: match-pair N [symmetry] [invert] [only PAIRS]");
  c.point = pointWord(words[1].text, "pair number");
  parseLengthFlags(words, c);
}
std::string lengthFlags(const Command &c) {
  return std::string(c.preset.symmetry.value_or(false) ? " symmetry" : "") +
         (c.preset.invert ? " invert" : "") + (c.text.empty() ? "" : " only " + selectionFor(c.text));
}
std::string printLength(const Command &c) { return " " + num(c.value) + lengthFlags(c); }
std::string printMatchPair(const Command &c) { return " " + std::to_string(c.point) + lengthFlags(c); }
void readLengthFlags(const Fields &f, Command &c) {
  if (f.flag("symmetry")) c.preset.symmetry = true;
  c.preset.invert = f.flag("invert");
  if (f.has("only")) c.text = onlyPairs(f.text("only"));
}
void readLength(const Fields &f, Command &c) {
  c.value = lengthValue(f.number("length"));
  readLengthFlags(f, c);
}
void readMatchPair(const Fields &f, Command &c) {
  c.point = static_cast<std::size_t>(f.count("pair"));
  readLengthFlags(f, c);
}
void writeLengthFlags(const Command &c, json &out) {
  putFlag(out, "symmetry", c.preset.symmetry.value_or(false));
  putFlag(out, "invert", c.preset.invert);
  putText(out, "only", c.text);
}
void writeLength(const Command &c, json &out) {
  out["length"] = c.value;
  writeLengthFlags(c, out);
}
void writeMatchPair(const Command &c, json &out) {
  out["pair"] = c.point;
  writeLengthFlags(c, out);
}

// pick [invert] [mode factor|offset] [symmetry on|off] [factor F] [offset D]
void parsePick(const Words &words, Command &c) {
  PanelPreset &p = c.preset;
  for (std::size_t i = 1; i < words.size(); ++i) {
    const std::string &w = words[i].key;
    const bool hasValue = i + 1 < words.size();
    if (w == "invert" && !p.invert) {
      p.invert = true;
    } else if (w == "mode" && !p.mode && hasValue) {
      p.mode = modeWord(words[i + 1].key, words[i + 1].text), ++i;
    } else if (w == "symmetry" && !p.symmetry && hasValue) {
      p.symmetry = onOffWord(words[i + 1].key, words[i + 1].text), ++i;
    } else if (w == "factor" && !p.factor && hasValue) {
      p.factor = factorWord(words[i + 1].text), ++i;
    } else if (w == "offset" && !p.offset && hasValue) {
      p.offset = numberWord(words[i + 1].text, "offset"), ++i;
    } else {
      throw mistake("unexpected '" + words[i].text +
                    "' (usage: pick [invert] [mode factor|offset] [symmetry on|off] [factor F] [offset D])");
    }
  }
}
std::string printPick(const Command &c) {
  const PanelPreset &p = c.preset;
  std::string text = p.invert ? " invert" : "";
  if (p.mode) text += std::string(" mode ") + modeName(*p.mode);
  if (p.symmetry) text += *p.symmetry ? " symmetry on" : " symmetry off";
  if (p.factor) text += " factor " + num(*p.factor);
  if (p.offset) text += " offset " + num(*p.offset);
  return text;
}
void readPick(const Fields &f, Command &c) {
  PanelPreset &p = c.preset;
  p.invert = f.flag("invert");
  if (f.has("mode")) {
    const std::string mode = f.text("mode");
    p.mode = modeWord(mode, mode);
  }
  if (f.has("symmetry")) p.symmetry = f.flag("symmetry");
  if (f.has("factor")) p.factor = f.number("factor");
  if (f.has("offset")) p.offset = f.number("offset");
}
void writePick(const Command &c, json &out) {
  const PanelPreset &p = c.preset;
  putFlag(out, "invert", p.invert);
  if (p.mode) out["mode"] = modeName(*p.mode);
  if (p.symmetry) out["symmetry"] = *p.symmetry;
  if (p.factor) out["factor"] = *p.factor;
  if (p.offset) out["offset"] = *p.offset;
}

void parseSave(const Words &words, Command &c) {
  expectCount(words, 0, 1, "save [FILE]");
  if (words.size() == 2) c.text = words[1].text;
}

void parseEcho(const Words &words, Command &c) {
  for (std::size_t i = 1; i < words.size(); ++i) {
    if (i > 1) c.text += ' ';
    c.text += words[i].text;
  }
}
// Echo's text is its words joined by single blanks: written back a piece
// between blanks at a time, so that runs of blanks, quotes and '#' inside
// quoted words survive.
std::string printEcho(const Command &c) {
  if (c.text.empty()) return "";
  std::string out;
  std::size_t start = 0;
  while (true) {
    const std::size_t blank = c.text.find(' ', start);
    out += ' ';
    out += wordFor(c.text.substr(start, blank == std::string::npos ? std::string::npos : blank - start));
    if (blank == std::string::npos) return out;
    start = blank + 1;
  }
}
void readEcho(const Fields &f, Command &c) {
  if (f.has("text")) c.text = f.text("text", true);
}
void writeEcho(const Command &c, json &out) { putText(out, "text", c.text); }

// A command without arguments.
void parseBare(const Words &words, Command &) { expectCount(words, 0, 0, words[0].key.c_str()); }
std::string printNothing(const Command &) { return ""; }
void readNothing(const Fields &, Command &) {}
void writeNothing(const Command &, json &) {}

struct CommandForm {
  const char *name;
  CommandOp op;
  int code;  // the event code of drop, reset and activate
  void (*parse)(const Words &, Command &);
  std::string (*print)(const Command &);
  std::vector<const char *> fields;
  void (*read)(const Fields &, Command &);
  void (*write)(const Command &, json &);
};

// Every command, once: its name, its text form and its JSON form.
// clang-format off
const CommandForm kForms[] = {
    {"pick", CommandOp::Pick, 0, parsePick, printPick, {"invert", "mode", "symmetry", "factor", "offset"}, readPick, writePick},
    {"press", CommandOp::Press, 0, parsePress, printPress, {"position", "point", "ctrl", "right", "handle"}, readPress, writePress},
    {"drag", CommandOp::Drag, 0, parseDrag, printDrag, {"position", "ctrl"}, readDrag, writeDrag},
    {"release", CommandOp::Release, 0, parseBare, printNothing, {}, readNothing, writeNothing},
    {"click", CommandOp::Click, 0, parseClick, printClick, {"point", "ctrl", "right"}, readClick, writeClick},
    {"keep", CommandOp::Keep, 0, parseKeep, printKeep, {"position"}, readKeep, writeKeep},
    {"drop", CommandOp::Event, LWT_EVENT_DROP, parseBare, printNothing, {}, readNothing, writeNothing},
    {"reset", CommandOp::Event, LWT_EVENT_RESET, parseBare, printNothing, {}, readNothing, writeNothing},
    {"activate", CommandOp::Event, LWT_EVENT_ACTIVATE, parseBare, printNothing, {}, readNothing, writeNothing},
    {"event", CommandOp::Event, -1, parseEvent, printEvent, {"code"}, readEvent, writeEvent},
    {"mode", CommandOp::Mode, 0, parseMode, printMode, {"mode"}, readMode, writeMode},
    {"factor", CommandOp::Factor, 0, parseFactorCommand, printValue, {"value"}, readValue, writeValue},
    {"offset", CommandOp::Offset, 0, parseOffset, printValue, {"value"}, readValue, writeValue},
    {"symmetry", CommandOp::Symmetry, 0, parseSymmetry, printSymmetry, {"on"}, readSymmetry, writeSymmetry},
    {"invert", CommandOp::Invert, 0, parseBare, printNothing, {}, readNothing, writeNothing},
    {"about", CommandOp::About, 0, parseAbout, printFile, {"file"}, readAbout, writeFile},
    {"panel", CommandOp::Panel, 0, parseBare, printNothing, {}, readNothing, writeNothing},
    {"svg", CommandOp::Svg, 0, parseSvg, printSvg, {"file", "view", "zoom"}, readSvg, writeSvg},
    {"points", CommandOp::Points, 0, parsePoints, printSelection, {"selection"}, readSelection, writeSelection},
    {"select", CommandOp::Select, 0, parseSelect, printSelection, {"selection", "pick"}, readSelection, writeSelection},
    {"pairs", CommandOp::Pairs, 0, parsePairsCommand, printPairs, {"pairs", "pick"}, readPairs, writePairs},
    {"pairs-from-edges", CommandOp::PairsFromEdges, 0, parseEdgePairs, printEdgePairs, {"axis", "within", "pick"}, readEdgePairs, writeEdgePairs},
    {"length", CommandOp::Length, 0, parseLength, printLength, {"length", "symmetry", "invert", "only"}, readLength, writeLength},
    {"match-pair", CommandOp::MatchPair, 0, parseMatchPair, printMatchPair, {"pair", "symmetry", "invert", "only"}, readMatchPair, writeMatchPair},
    {"undo", CommandOp::Undo, 0, parseBare, printNothing, {}, readNothing, writeNothing},
    {"redo", CommandOp::Redo, 0, parseBare, printNothing, {}, readNothing, writeNothing},
    {"revert", CommandOp::Revert, 0, parseBare, printNothing, {}, readNothing, writeNothing},
    {"save", CommandOp::Save, 0, parseSave, printFile, {"file"}, readFile, writeFile},
    {"echo", CommandOp::Echo, 0, parseEcho, printEcho, {"text"}, readEcho, writeEcho},
    {"open", CommandOp::Open, 0, parseOpen, printOpen, {"file", "checksum", "text"}, readOpen, writeOpen},
    {"cancel", CommandOp::Cancel, 0, parseBare, printNothing, {}, readNothing, writeNothing},
    {"close", CommandOp::Close, 0, parseBare, printNothing, {}, readNothing, writeNothing},
    {"on-failure", CommandOp::OnFailure, 0, parseOnFailure, printOnFailure, {"then"}, readOnFailure, writeOnFailure},
};
// clang-format on

const CommandForm *formNamed(const std::string &name) {
  for (const CommandForm &form : kForms)
    if (name == form.name) return &form;
  return nullptr;
}

// The form a command prints with: events 0 to 2 by their names.
const CommandForm &formOf(const Command &c) {
  for (const CommandForm &form : kForms) {
    if (form.op != c.op) continue;
    if (c.op != CommandOp::Event || form.code == c.code || (form.code < 0 && (c.code < 0 || c.code > 2)))
      return form;
  }
  return kForms[0];
}

Command start(const CommandForm &form) {
  Command c;
  c.op = form.op;
  c.code = form.code < 0 ? 0 : form.code;
  return c;
}

}  // namespace

std::string commandName(const Command &command) { return formOf(command).name; }

Command parseCommand(std::string_view line) {
  const Words words = splitWords(line);
  if (words.empty()) throw mistake("no command");
  const CommandForm *form = formNamed(words[0].key);
  if (form == nullptr) {
    std::vector<std::string> names;
    for (const CommandForm &known : kForms) names.emplace_back(known.name);
    const std::string nearest = nearestWord(words[0].key, names);
    throw mistake("unknown command '" + words[0].text + "'" +
                  (nearest.empty() ? "" : "; did you mean " + nearest + "?"));
  }
  Command c = start(*form);
  form->parse(words, c);
  return c;
}

bool isBlankLine(std::string_view line) { return splitWords(line).empty(); }

std::string commandText(const Command &command) {
  const CommandForm &form = formOf(command);
  return form.name + form.print(command);
}

Command commandFromJson(const nlohmann::json &body) {
  if (!body.is_object()) throw mistake("a command is a JSON object");
  const auto name = body.find("command");
  if (name == body.end() || !name->is_string()) throw mistake("'command' is required: the command's name");
  const CommandForm *form = formNamed(name->get<std::string>());
  if (form == nullptr) throw Failure(FailureKind::NotFound, "no such command: " + name->get<std::string>());
  const Fields fields(body, form->fields);
  Command c = start(*form);
  form->read(fields, c);
  return c;
}

nlohmann::json commandJson(const Command &command) {
  const CommandForm &form = formOf(command);
  json out = {{"command", form.name}};
  form.write(command, out);
  return out;
}

bool changesSession(CommandOp op) {
  switch (op) {
    case CommandOp::About:
    case CommandOp::Panel:
    case CommandOp::Svg:
    case CommandOp::Points:
    case CommandOp::Save:
    case CommandOp::Echo:
    case CommandOp::OnFailure:
    case CommandOp::Undo:
    case CommandOp::Redo:
    case CommandOp::Open:
    case CommandOp::Cancel:
      return false;
    default:
      return true;
  }
}

std::string textChecksum(std::string_view text) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (char ch : text) {
    hash ^= static_cast<unsigned char>(ch);
    hash *= 0x100000001b3ULL;
  }
  static const char kHex[] = "0123456789abcdef";
  std::string out(16, '0');
  for (std::size_t i = 0; i < 16; ++i) out[15 - i] = kHex[(hash >> (4 * i)) & 15];
  return out;
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

}  // namespace standin
