#include "standin/script.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

#include "standin/obj_file.h"

namespace standin {
namespace {

struct Word {
  std::string text;
  bool quoted = false;
};

class LineError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

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
      if (close == std::string_view::npos) throw LineError("missing closing '\"'");
      word.text = std::string(line.substr(i + 1, close - i - 1));
      word.quoted = true;
      i = close + 1;
    } else {
      const std::size_t begin = i;
      while (i < line.size() && !blank(line[i]) && line[i] != '#') ++i;
      word.text = std::string(line.substr(begin, i - begin));
    }
    words.push_back(std::move(word));
  }
  return words;
}

double parseNumber(const std::string &text, const char *what) {
  std::string_view digits = text;
  if (digits.size() > 1 && digits[0] == '+') digits.remove_prefix(1);
  double value = 0.0;
  auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec != std::errc() || ptr != digits.data() + digits.size() || !std::isfinite(value)) {
    throw LineError(std::string(what) + " '" + text + "' is not a number");
  }
  return value;
}

std::size_t parsePoint(const std::string &text) {
  std::uint64_t value = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || ptr != text.data() + text.size() ||
      value > std::numeric_limits<std::size_t>::max()) {
    throw LineError("point index '" + text + "' is not a point index (0, 1, 2, ...)");
  }
  return static_cast<std::size_t>(value);
}

int parseInt(const std::string &text) {
  int value = 0;
  std::string_view digits = text;
  if (digits.size() > 1 && digits[0] == '+') digits.remove_prefix(1);
  auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec != std::errc() || ptr != digits.data() + digits.size()) {
    throw LineError("event code '" + text + "' is not a whole number");
  }
  return value;
}

// Reads the words after a command: flags such as "ctrl" and "right" may come
// in any order after the fixed arguments.
struct Flags {
  bool ctrl = false;
  bool right = false;
};

Flags parseFlags(const std::vector<Word> &words, std::size_t from, bool allowRight) {
  Flags flags;
  for (std::size_t i = from; i < words.size(); ++i) {
    const std::string &w = words[i].text;
    if (w == "ctrl" && !flags.ctrl) {
      flags.ctrl = true;
    } else if (w == "right" && allowRight && !flags.right) {
      flags.right = true;
    } else {
      throw LineError("unexpected '" + w + "' (expected " + (allowRight ? "ctrl or right" : "ctrl") + ")");
    }
  }
  return flags;
}

void expectCount(const std::vector<Word> &words, std::size_t min, std::size_t max, const char *usage) {
  const std::size_t args = words.size() - 1;
  if (args < min || args > max) throw LineError("usage: " + std::string(usage));
}

ScriptCommand parseLine(const std::vector<Word> &words) {
  ScriptCommand c;
  const std::string &name = words[0].text;
  auto position = [&](std::size_t from) {
    for (std::size_t axis = 0; axis < 3; ++axis) {
      static const char *const kAxis[] = {"x", "y", "z"};
      c.position[axis] = parseNumber(words[from + axis].text, kAxis[axis]);
    }
  };
  if (name == "pick") {
    expectCount(words, 0, 0, "pick");
    c.op = ScriptOp::Pick;
  } else if (name == "press") {
    c.op = ScriptOp::Press;
    if (words.size() >= 3 && words[1].text == "point") {
      c.atPoint = true;
      c.point = parsePoint(words[2].text);
      const Flags flags = parseFlags(words, 3, true);
      c.ctrl = flags.ctrl;
      c.right = flags.right;
    } else {
      if (words.size() < 4)
        throw LineError("usage: press X Y Z [ctrl] [right]  or  press point N [ctrl] [right]");
      position(1);
      const Flags flags = parseFlags(words, 4, true);
      c.ctrl = flags.ctrl;
      c.right = flags.right;
    }
  } else if (name == "drag") {
    c.op = ScriptOp::Drag;
    if (words.size() < 4) throw LineError("usage: drag X Y Z [ctrl]");
    position(1);
    c.ctrl = parseFlags(words, 4, false).ctrl;
  } else if (name == "release") {
    expectCount(words, 0, 0, "release");
    c.op = ScriptOp::Release;
  } else if (name == "click") {
    c.op = ScriptOp::Click;
    if (words.size() < 2) throw LineError("usage: click N [ctrl] [right]");
    c.point = parsePoint(words[1].text);
    const Flags flags = parseFlags(words, 2, true);
    c.ctrl = flags.ctrl;
    c.right = flags.right;
  } else if (name == "drop" || name == "reset" || name == "activate") {
    expectCount(words, 0, 0, name.c_str());
    c.op = ScriptOp::Event;
    c.code = name == "drop" ? 0 : name == "reset" ? 1 : 2;
  } else if (name == "event") {
    expectCount(words, 1, 1, "event CODE");
    c.op = ScriptOp::Event;
    c.code = parseInt(words[1].text);
  } else if (name == "mode") {
    expectCount(words, 1, 1, "mode factor|offset");
    c.op = ScriptOp::Mode;
    if (words[1].text == "factor") {
      c.code = 0;
    } else if (words[1].text == "offset") {
      c.code = 1;
    } else {
      throw LineError("unknown mode '" + words[1].text + "' (expected factor or offset)");
    }
  } else if (name == "factor") {
    expectCount(words, 1, 1, "factor F  (or factor P%)");
    c.op = ScriptOp::Factor;
    std::string text = words[1].text;
    const bool percent = !text.empty() && text.back() == '%';
    if (percent) text.pop_back();
    c.value = parseNumber(text, "factor");
    if (percent) c.value /= 100.0;
  } else if (name == "offset") {
    expectCount(words, 1, 1, "offset D");
    c.op = ScriptOp::Offset;
    c.value = parseNumber(words[1].text, "offset");
  } else if (name == "symmetry") {
    expectCount(words, 1, 1, "symmetry on|off");
    c.op = ScriptOp::Symmetry;
    if (words[1].text == "on") {
      c.code = 1;
    } else if (words[1].text == "off") {
      c.code = 0;
    } else {
      throw LineError("symmetry takes on or off, not '" + words[1].text + "'");
    }
  } else if (name == "invert") {
    expectCount(words, 0, 0, "invert");
    c.op = ScriptOp::Invert;
  } else if (name == "about") {
    expectCount(words, 0, 1, "about [FILE.png]");
    c.op = ScriptOp::About;
    if (words.size() == 2) c.text = words[1].text;
  } else if (name == "panel") {
    expectCount(words, 0, 0, "panel");
    c.op = ScriptOp::Panel;
  } else if (name == "svg") {
    expectCount(words, 1, 2, "svg FILE [top|front|side]");
    c.op = ScriptOp::Svg;
    c.text = words[1].text;
    if (words.size() == 3 && !parseViewAxis(words[2].text, c.view)) {
      throw LineError("unknown view '" + words[2].text + "' (expected top, front or side)");
    }
  } else if (name == "points") {
    expectCount(words, 0, 1, "points [SELECTION]");
    c.op = ScriptOp::Points;
    if (words.size() == 2) c.text = words[1].text;
  } else if (name == "select") {
    expectCount(words, 1, 1, "select SELECTION  (for example 0-3,8,9)");
    c.op = ScriptOp::Select;
    c.text = words[1].text;
  } else if (name == "save") {
    expectCount(words, 1, 1, "save FILE");
    c.op = ScriptOp::Save;
    c.text = words[1].text;
  } else if (name == "echo") {
    c.op = ScriptOp::Echo;
    for (std::size_t i = 1; i < words.size(); ++i) {
      if (i > 1) c.text += ' ';
      c.text += words[i].text;
    }
  } else if (name == "close") {
    expectCount(words, 0, 0, "close");
    c.op = ScriptOp::Close;
  } else {
    throw LineError("unknown command '" + name + "'");
  }
  return c;
}

std::string number(double value) { return ObjFile::formatNumber(value); }

}  // namespace

Script parseScript(std::string_view text, const std::string &name) {
  Script script;
  script.name = name;
  std::size_t lineNumber = 0;
  std::size_t start = 0;
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
    } catch (const LineError &error) {
      throw ScriptError(name + ":" + std::to_string(lineNumber) + ": " + error.what());
    }
  }
  return script;
}

std::string describeCommand(const ScriptCommand &c) {
  auto flags = [&] { return std::string(c.ctrl ? " ctrl" : "") + (c.right ? " right" : ""); };
  auto position = [&] {
    return number(c.position[0]) + " " + number(c.position[1]) + " " + number(c.position[2]);
  };
  auto quote = [](const std::string &file) {
    return file.find_first_of(" \t#") == std::string::npos ? file : "\"" + file + "\"";
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
      return c.text.empty() ? "about" : "about " + quote(c.text);
    case ScriptOp::Panel:
      return "panel";
    case ScriptOp::Svg:
      return "svg " + quote(c.text) + " " + viewAxisName(c.view);
    case ScriptOp::Points:
      return c.text.empty() ? "points" : "points " + c.text;
    case ScriptOp::Select:
      return "select " + c.text;
    case ScriptOp::Save:
      return "save " + quote(c.text);
    case ScriptOp::Echo:
      return "echo " + c.text;
    case ScriptOp::Close:
      return "close";
  }
  return "?";
}

}  // namespace standin
