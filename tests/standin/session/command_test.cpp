// A command's two forms: the text a script holds and the JSON the API takes
// read back to the same command, and agree with each other, over many random
// commands of every kind.
#include "standin/session/command.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <random>
#include <string>

#include "standin/session/point_pairs.h"

namespace {

using nlohmann::json;
using standin::Command;
using standin::CommandOp;

class RandomCommands {
 public:
  explicit RandomCommands(unsigned seed) : random_(seed) {}

  Command next() {
    Command c;
    c.op = static_cast<CommandOp>(upTo(static_cast<int>(CommandOp::OnFailure)));
    switch (c.op) {
      case CommandOp::Pick:
        c.preset.invert = coin();
        if (coin()) c.preset.mode = upTo(1);
        if (coin()) c.preset.symmetry = coin();
        if (coin()) c.preset.factor = number();
        if (coin()) c.preset.offset = number();
        break;
      case CommandOp::Press:
        c.atPoint = coin();
        c.point = static_cast<std::size_t>(upTo(1000));
        if (!c.atPoint) c.position = {number(), number(), number()};
        c.ctrl = coin(), c.right = coin();
        c.grab = static_cast<standin::Grab>(upTo(2));
        if (c.grab == standin::Grab::Handle) c.handle = upTo(5000);
        if (!c.atPoint) c.point = 0;
        break;
      case CommandOp::Drag:
        c.position = {number(), number(), number()};
        c.ctrl = coin();
        break;
      case CommandOp::Keep:
        c.position = {number(), number(), number()};
        break;
      case CommandOp::Click:
        c.point = static_cast<std::size_t>(upTo(1 << 20));
        c.ctrl = coin(), c.right = coin();
        break;
      case CommandOp::Event:
        c.code = upTo(400) - 200;
        break;
      case CommandOp::Mode:
      case CommandOp::Symmetry:
      case CommandOp::OnFailure:
        c.code = upTo(1);
        break;
      case CommandOp::Factor:
      case CommandOp::Offset:
        c.value = number();
        break;
      case CommandOp::Length:
      case CommandOp::MatchPair:
        if (c.op == CommandOp::Length) c.value = std::abs(number());
        if (c.op == CommandOp::MatchPair) c.point = static_cast<std::size_t>(upTo(99));
        if (coin()) c.preset.symmetry = true;
        c.preset.invert = coin();
        if (coin()) c.text = std::to_string(upTo(9)) + (coin() ? "-12,30" : "");
        break;
      case CommandOp::PairsFromEdges:
        c.code = upTo(3) - 1;
        c.value = c.code >= 0 && coin() ? upTo(900) / 10.0 : standin::kAlongAxisDegrees;
        c.repick = coin();
        break;
      case CommandOp::Open:
        c.text = word() + ".obj";
        if (coin()) c.checksum = standin::textChecksum(word());
        break;
      case CommandOp::Svg:
        c.text = word() + ".svg";
        c.view = static_cast<standin::ViewAxis>(upTo(2));
        c.zoom = static_cast<standin::ViewZoom>(upTo(1));
        break;
      case CommandOp::About:
      case CommandOp::Save:
        if (coin()) c.text = word() + (c.op == CommandOp::About ? ".png" : ".obj");
        break;
      case CommandOp::Points:
      case CommandOp::Select:
        if (c.op == CommandOp::Select || coin()) c.text = coin() ? "all" : std::to_string(upTo(9)) + "-12,3";
        if (coin()) c.text = "All";  // a text that reads back only in quotes
        c.repick = c.op == CommandOp::Select && coin();
        break;
      case CommandOp::Pairs:
        c.text = std::to_string(upTo(50)) + ":" + std::to_string(51 + upTo(50)) + ",200:201";
        c.repick = coin();
        break;
      case CommandOp::Echo:
        c.text = coin() ? "" : word() + " " + word() + "  #" + word();
        break;
      default:
        break;
    }
    return c;
  }

 private:
  int upTo(int last) { return std::uniform_int_distribution<int>(0, last)(random_); }
  bool coin() { return upTo(1) == 1; }
  double number() {
    switch (upTo(3)) {
      case 0:
        return upTo(20) - 10;
      case 1:
        return std::uniform_real_distribution<double>(-1e3, 1e3)(random_);
      case 2:
        return std::ldexp(std::uniform_real_distribution<double>(-1, 1)(random_), upTo(2000) - 1000);
      default:
        return 0.1 * upTo(30);
    }
  }
  // Letters, digits, blanks and the characters a script treats specially.
  std::string word() {
    static const std::string kCharacters = "abcXYZ019 #._-/\\'";
    std::string text;
    for (int i = upTo(8); i >= 0; --i) text += kCharacters[static_cast<std::size_t>(upTo(16))];
    return text;
  }

  std::mt19937 random_;
};

TEST(CommandForms, TextAndJsonReadBackToTheSameCommandAndAgree) {
  RandomCommands commands(20261208);
  for (int i = 0; i < 5000; ++i) {
    const Command c = commands.next();
    const std::string text = standin::commandText(c);
    const json body = standin::commandJson(c);
    SCOPED_TRACE(text + "  " + body.dump());
    Command fromText, fromJson;
    ASSERT_NO_THROW(fromText = standin::parseCommand(text));
    ASSERT_NO_THROW(fromJson = standin::commandFromJson(json::parse(body.dump())));
    EXPECT_EQ(fromText, c);
    EXPECT_EQ(fromJson, c);
    EXPECT_EQ(standin::commandText(fromJson), text);
    EXPECT_EQ(standin::commandJson(fromText), body);
    EXPECT_EQ(body["command"], standin::commandName(c));
  }
}

// Script lines made of command names, keywords and arguments in any case,
// bare or quoted: every line that parses prints as a line that parses back to
// the same command, and prints the same again.
TEST(CommandForms, EveryLineThatParsesPrintsAsALineOfTheSameCommand) {
  static const char *const kNames[] = {
      "pick",   "press",      "drag",     "release", "click",  "keep",  "drop", "reset",  "event",  "mode",
      "factor", "offset",     "symmetry", "invert",  "about",  "panel", "svg",  "points", "select", "pairs",
      "length", "match-pair", "undo",     "redo",    "revert", "save",  "echo", "close"};
  static const char *const kWords[] = {
      "ctrl", "right", "handle", "start",   "point", "zoom",   "selection", "mesh",   "top",      "front",
      "side", "on",    "off",    "all",     "at",    "mode",   "factor",    "offset", "symmetry", "invert",
      "1",    "-2.5",  "150%",   "0-3,8",   "4:0",   "4:0,",   ",5:1",      "a.svg",  "b.png",    "c.obj",
      "x#y",  "#",     "\"\"",   "\"a b\"", "\"#\"", "\"\"\"", "a\"b",      "\t",     "7",        "12"};
  std::mt19937 random(20261208);
  auto pick = [&](auto &list) {
    return std::string(list[std::uniform_int_distribution<std::size_t>(0, std::size(list) - 1)(random)]);
  };
  // Each letter in upper or lower case, and sometimes the whole word quoted.
  auto dress = [&](std::string word) {
    for (char &c : word)
      if (random() % 2 == 0 && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (random() % 4 == 0 && word.find('"') == std::string::npos) word = "\"" + word + "\"";
    return word;
  };
  int parsed = 0;
  for (int i = 0; i < 200000; ++i) {
    std::string line = dress(pick(kNames));
    for (int n = static_cast<int>(random() % 5); n > 0; --n) line += " " + dress(pick(kWords));
    Command c;
    try {
      c = standin::parseCommand(line);
    } catch (const standin::Failure &) {
      continue;
    }
    ++parsed;
    const std::string text = standin::commandText(c);
    SCOPED_TRACE(line + "  printed as  " + text);
    Command again;
    ASSERT_NO_THROW(again = standin::parseCommand(text));
    ASSERT_EQ(again, c);
    ASSERT_EQ(standin::commandText(again), text);
  }
  EXPECT_GT(parsed, 20000);  // the lines reach the parsers, not only their refusals
}

// Texts from the page (JSON) hold any characters: a command takes only what a
// script line can hold, and that reads back as the same text.
TEST(CommandForms, AJsonTextIsRefusedOrPrintsAsTheSameText) {
  static const char *const kFields[][2] = {
      {"svg", "file"},         {"about", "file"},       {"save", "file"},  {"echo", "text"},
      {"select", "selection"}, {"points", "selection"}, {"pairs", "pairs"}};
  static const std::string kCharacters = "aZ1.:-, \t\"#\\\r\n";
  std::mt19937 random(7);
  int kept = 0;
  for (int i = 0; i < 50000; ++i) {
    const auto &field = kFields[random() % std::size(kFields)];
    std::string text;
    for (int n = static_cast<int>(random() % 7); n >= 0; --n)
      text += kCharacters[random() % kCharacters.size()];
    const std::string command = field[0];
    if (command == "svg") text += ".svg";
    if (command == "about") text += ".png";
    Command c;
    try {
      c = standin::commandFromJson(json{{"command", command}, {field[1], text}});
    } catch (const standin::Failure &error) {
      EXPECT_EQ(error.kind(), standin::FailureKind::BadInput);
      continue;
    }
    ++kept;
    const std::string line = standin::commandText(c);
    SCOPED_TRACE(json(text).dump() + "  printed as  " + line);
    ASSERT_EQ(line.find('\n'), std::string::npos);
    Command again;
    ASSERT_NO_THROW(again = standin::parseCommand(line));
    ASSERT_EQ(again, c);
  }
  EXPECT_GT(kept, 5000);
}

TEST(CommandForms, EverySessionCommandHasItsJsonForm) {
  struct Case {
    const char *text;
    const char *json;
  };
  const Case cases[] = {
      {"press 1 2 3 ctrl handle 4", R"({"command":"press","position":[1.0,2.0,3.0],"ctrl":true,"handle":4})"},
      {"press point 7 right start", R"({"command":"press","point":7,"right":true,"handle":"start"})"},
      {"pick invert mode offset symmetry on offset 0.5",
       R"({"command":"pick","invert":true,"mode":"offset","symmetry":true,"offset":0.5})"},
      {"keep 0 0 0", R"({"command":"keep"})"},
      {"reset", R"({"command":"event","code":1})"},
      {"factor 1.5", R"({"command":"factor","value":1.5})"},
      {"symmetry off", R"({"command":"symmetry"})"},
      {"match-pair 2 symmetry", R"({"command":"match-pair","pair":2,"symmetry":true})"},
      {"length 4 invert", R"({"command":"length","length":4,"invert":true})"},
      {"svg v.svg top", R"({"command":"svg","file":"v.svg"})"},
      {"undo", R"({"command":"undo"})"},
      {"save", R"({"command":"save"})"},
      {"pairs 1:0,3:2 pick", R"({"command":"pairs","pairs":"1:0,3:2","pick":true})"},
      {"pairs-from-edges y within 10 pick",
       R"({"command":"pairs-from-edges","axis":"y","within":10,"pick":true})"},
      {"length 2 only 0-2,5", R"({"command":"length","length":2,"only":"0-2,5"})"},
      // The text the JSON form carries is not written: the line names the file and its checksum.
      {"open box.obj checksum 0123456789abcdef",
       R"({"command":"open","file":"box.obj","checksum":"0123456789abcdef","text":"v 0 0 0\n"})"},
      {"cancel", R"({"command":"cancel"})"},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(standin::commandText(standin::commandFromJson(json::parse(c.json))), c.text) << c.json;
  }
}

TEST(CommandForms, AJsonBodyThatIsNoCommandSaysWhy) {
  struct Case {
    const char *json;
    const char *says;
  };
  const Case cases[] = {
      {R"({"command":"press","position":[0,0,0],"handle":"nearest"})", "'handle' must be a handle index"},
      {R"({"command":"drag","position":[0,0,0],"right":true})",
       "unknown field 'right' (it takes position, ctrl)"},
      {R"({"command":"length","length":-1})", "a length is a finite number, 0 or more"},
      {R"({"command":"pairs","pairs":"4:0,0:2"})", "point 0 is in pair 0 (4:0) and in pair 1 (0:2)"},
      {R"({"command":"svg","file":"a.png"})", "svg writes an SVG picture, not .png"},
      {R"({"command":"click","point":-1})", "'point' must be a whole number from 0"},
      {R"({"command":"event","code":1.5})", "'code' must be a whole number"},
      {R"({"command":"pick","factor":"2"})", "'factor' must be a number"},
      {R"({"command":"pairs-from-edges","within":3})", "'within' needs an axis"},
      {R"({"command":"pairs-from-edges","axis":"y","within":91})", "within takes degrees from 0 to 90"},
      {R"({"command":"open","file":"a\"b.obj"})", "a character a script line cannot"},
      {R"({"command":"open","file":"a.obj","checksum":"XYZ"})", "a checksum is 16 hex digits"},
      {R"({"command":"length","length":1,"only":"1-"})", "1-"},
  };
  for (const Case &c : cases) {
    try {
      standin::commandFromJson(json::parse(c.json));
      ADD_FAILURE() << "accepted " << c.json;
    } catch (const standin::Failure &error) {
      EXPECT_EQ(error.kind(), standin::FailureKind::BadInput);
      EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos) << error.what();
    }
  }
}

}  // namespace
