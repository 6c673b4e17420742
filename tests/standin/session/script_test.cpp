// The session script language: what each line means and how mistakes are
// reported before anything runs.
#include "standin/session/script.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using standin::CommandOp;
using standin::Failure;
using standin::parseScript;

TEST(ScriptParse, AByteOrderMarkAtTheStartIsSkipped) {
  const standin::Script script = parseScript("\xEF\xBB\xBFpick\nfactor 2\n", "bom.txt");
  ASSERT_EQ(script.commands.size(), 2u);
  EXPECT_EQ(script.commands[0].op, CommandOp::Pick);
  EXPECT_EQ(script.commands[0].line, 1u);
  // Only at the start: anywhere else it is refused (see the mistakes below).
  EXPECT_THROW(parseScript("pick\n\xEF\xBB\xBF"
                           "factor 2\n",
                           "bom.txt"),
               Failure);
}

TEST(ScriptParse, CommandsKeepTheirArgumentsAndLines) {
  const standin::Script script = parseScript(
      "# a comment\n"
      "pick\n"
      "\n"
      "press 1 -2.5 3e1 right ctrl   # trailing comment\n"
      "drag 4 5 6 ctrl\r\n"
      "release\n"
      "press point 7\n"
      "click 3 right\n"
      "drop\nreset\nactivate\nevent 255\n"
      "mode offset\n"
      "factor 150%\nfactor -2\noffset 0.25\n"
      "symmetry on\ninvert\nabout \"my logo.png\"\npanel\n"
      "svg out.svg front\npoints 0-3\nselect 0-7\nsave o.obj\necho Hello   world\nclose\n",
      "s.txt");
  const auto &c = script.commands;
  ASSERT_EQ(c.size(), 24u);
  EXPECT_EQ(c[0].op, CommandOp::Pick);
  EXPECT_EQ(c[0].line, 2u);
  EXPECT_EQ(c[1].op, CommandOp::Press);
  EXPECT_EQ(c[1].line, 4u);
  EXPECT_EQ(c[1].position, (std::array<double, 3>{1, -2.5, 30}));
  EXPECT_TRUE(c[1].ctrl && c[1].right);
  EXPECT_TRUE(c[2].ctrl);
  EXPECT_FALSE(c[2].right);
  EXPECT_TRUE(c[4].atPoint);
  EXPECT_EQ(c[4].point, 7u);
  EXPECT_FALSE(c[4].ctrl || c[4].right);
  EXPECT_EQ(c[5].op, CommandOp::Click);
  EXPECT_TRUE(c[5].right);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(c[6 + i].code, i);
  EXPECT_EQ(c[9].code, 255);
  EXPECT_EQ(c[10].code, 1);
  EXPECT_DOUBLE_EQ(c[11].value, 1.5);
  EXPECT_DOUBLE_EQ(c[12].value, -2.0);
  EXPECT_DOUBLE_EQ(c[13].value, 0.25);
  EXPECT_EQ(c[14].code, 1);
  EXPECT_EQ(c[16].text, "my logo.png");
  EXPECT_EQ(c[18].view, standin::ViewAxis::Front);
  EXPECT_EQ(c[19].text, "0-3");
  EXPECT_EQ(c[22].text, "Hello world");
  EXPECT_EQ(c[23].op, CommandOp::Close);
}

// Pairs as separate words or a comma-separated list (blanks after commas too).
TEST(ScriptParse, PairsAreOneListHoweverTheyAreSpaced) {
  for (const char *line : {"pairs 4:0 5:1 6:2", "pairs 4:0,5:1,6:2", "pairs 4:0, 5:1 ,6:2"}) {
    const auto c = parseScript(line, "s").commands.at(0);
    EXPECT_EQ(c.op, CommandOp::Pairs) << line;
    EXPECT_EQ(c.text, "4:0,5:1,6:2") << line;
  }
}

// Command names and keywords whatever their case; file names, selections and
// echo text as written.
TEST(ScriptParse, WordsAreReadWhateverTheirCaseButFileNamesKeepTheirs) {
  const standin::Script script = parseScript(
      "PICK\nPress Point 3 CTRL Right\nMODE Offset\nFactor 150%\nSymmetry ON\n"
      "Svg \"My View.svg\" TOP\nSELECT ALL\nSave Out.OBJ\nEcho Hello World\n",
      "s.txt");
  const auto &c = script.commands;
  ASSERT_EQ(c.size(), 9u);
  EXPECT_EQ(c[0].op, CommandOp::Pick);
  EXPECT_TRUE(c[1].atPoint && c[1].ctrl && c[1].right);
  EXPECT_EQ(c[2].code, 1);
  EXPECT_DOUBLE_EQ(c[3].value, 1.5);
  EXPECT_EQ(c[4].code, 1);
  EXPECT_EQ(c[5].text, "My View.svg");
  EXPECT_EQ(c[5].view, standin::ViewAxis::Top);
  EXPECT_EQ(c[6].text, "all");
  EXPECT_EQ(c[7].text, "Out.OBJ");
  EXPECT_EQ(c[8].text, "Hello World");
}

TEST(ScriptParse, DescribeGivesALineThatParsesToTheSameCommand) {
  const char *lines[] = {"press 1 -2.5 30 ctrl right",
                         "press point 7 ctrl",
                         "drag 0.1 0 0",
                         "click 3 right",
                         "event 7",
                         "factor 1.5",
                         "offset -0.25",
                         "symmetry off",
                         "about \"a b.png\"",
                         "svg o.svg side",
                         "svg o.svg top zoom selection",
                         "points 1-2",
                         "pairs 4:0,5:1",
                         "mode factor"};
  for (const char *line : lines) {
    const auto first = parseScript(line, "s").commands.at(0);
    EXPECT_EQ(standin::commandText(first), line);
  }
}

// Found by fuzz/script_fuzzer: echo's quoted words and file names with a
// carriage return or no characters were printed as lines that parse to
// something else, or not at all.
TEST(ScriptParse, DescribeQuotesWordsThatNeedIt) {
  struct Case {
    const char *line;
    const char *described;
    const char *text;
  };
  const Case cases[] = {
      {"echo two  \"spaced  words\" #x", "echo two spaced \"\" words", "two spaced  words"},
      {"echo \"#not a comment\" a\"b", "echo \"#not\" a comment a\"b", "#not a comment a\"b"},
      {"echo \"\"", "echo", ""},
      {"echo", "echo", ""},
      {"save \"a\rb.obj\"", "save \"a\rb.obj\"", "a\rb.obj"},
      {"svg \"\" side", "svg \"\" side", ""},
      {"select \"0 - 3\"", "select \"0 - 3\"", "0 - 3"},
  };
  for (const Case &c : cases) {
    const auto first = parseScript(c.line, "s").commands.at(0);
    EXPECT_EQ(first.text, c.text) << c.line;
    const std::string described = standin::commandText(first);
    EXPECT_EQ(described, c.described) << c.line;
    const auto again = parseScript(described, "s").commands.at(0);
    EXPECT_EQ(again.text, first.text) << c.line;
    EXPECT_EQ(again.op, first.op) << c.line;
  }
}

TEST(ScriptParse, MistakesNameTheLineAndStopBeforeAnythingRuns) {
  struct Case {
    const char *text;
    const char *message;
  };
  const Case cases[] = {
      {"pick\n\n\n\n\n\nfoo 1\n", "s.txt:7: unknown command 'foo'"},
      {"press 1 2\n", "s.txt:1: usage: press X Y Z [ctrl] [right] [handle N|start]  or  press point N ..."},
      {"press 1 2 3 shift\n", "s.txt:1: unexpected 'shift' (expected ctrl, right, handle N or start)"},
      {"click 1 handle 2\n", "s.txt:1: unexpected 'handle' (expected ctrl or right)"},
      {"drag 1 2 3 right\n", "s.txt:1: unexpected 'right' (expected ctrl)"},
      {"press 1 y 3\n", "s.txt:1: y 'y' is not a number"},
      {"click -1\n", "s.txt:1: point index '-1' is not a point index (0, 1, 2, ...)"},
      {"factor\n", "s.txt:1: usage: factor F  (or factor P%)"},
      {"factor 1.5x\n", "s.txt:1: factor '1.5x' is not a number"},
      {"offset nan\n", "s.txt:1: offset 'nan' is not a number"},
      {"mode stretch\n", "s.txt:1: unknown mode 'stretch' (expected factor or offset)"},
      {"symmetry yes\n", "s.txt:1: symmetry takes on or off, not 'yes'"},
      {"on-failure ignore\n", "s.txt:1: on-failure takes stop or continue, not 'ignore'"},
      {"on-failure\n", "s.txt:1: usage: on-failure stop|continue"},
      {"svg a.svg diagonal\n", "s.txt:1: unknown view 'diagonal' (expected top, front or side)"},
      {"svg a.svg zoom\n", "s.txt:1: zoom takes selection or mesh"},
      {"svg a.svg zoom all\n", "s.txt:1: zoom takes selection or mesh, not 'all'"},
      {"svg a.svg top side\n", "s.txt:1: the view is given twice ('top' and 'side')"},
      {"svg a.svg top selection\n", "s.txt:1: unexpected 'selection' (expected zoom selection or zoom mesh)"},
      {"svg a.svg zoom mesh zoom\n", "s.txt:1: zoom is given twice"},
      {"release now\n", "s.txt:1: usage: release"},
      {"event 1.5\n", "s.txt:1: event code '1.5' is not a whole number"},
      {"save \"unclosed.obj\n", "s.txt:1: missing closing '\"'"},
      {"pairs\n", "s.txt:1: usage: pairs H:A [H:A ...] [pick]  (handle end:anchor end, for example 4:0 5:1)"},
      {"pairs 4:0 5\n", "s.txt:1: bad pair '5': expected HANDLE:ANCHOR, two point indices such as 4:0"},
      {"pairs 4:0 0:2\n",
       "s.txt:1: point 0 is in pair 0 (4:0) and in pair 1 (0:2): a point can be the end of one pair only "
       "(the "
       "host hands each selected point to the tool once); stretch such pairs in separate runs or script "
       "steps"},
      {"svg \"my view.png\" top\n", "s.txt:1: svg writes an SVG picture, not .png: name it 'my view.svg'"},
      {"about logo.SVG\n", "s.txt:1: about writes a PNG picture, not .svg: name it 'logo.png'"},
      {"\"pick\"\n", "s.txt:1: unknown command 'pick'"},  // a quoted word is never a keyword
      {"pick\n\xEF\xBB\xBF"
       "factor 2\n",
       "s.txt:2: a byte-order mark (bytes EF BB BF) in mid-file: only the very start of a file may have one "
       "(were two files joined?)"},
  };
  for (const Case &c : cases) {
    try {
      parseScript(c.text, "s.txt");
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const Failure &error) {
      EXPECT_EQ(std::string(error.what()), c.message);
    }
  }
}

}  // namespace
