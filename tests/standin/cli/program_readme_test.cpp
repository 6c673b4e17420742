// What README.md and docs/program.md promise about elasticpull-host: their
// session scripts give the output printed after them, its main command runs the bundled example, and
// its one-line command gives the hand-computed result.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "standin/session/obj_file.h"
#include "tests/standin/cli/program_run.h"

namespace {

using program_test::describe;
using program_test::ProgramTest;
using program_test::readFile;

struct ReadmeScript {
  std::string where;  // the document and the line where the block starts
  std::string script;
  std::optional<std::string> output;  // the ```output block right after it
};

// The fenced blocks of a Markdown text: (info string, body, first line).
struct Fence {
  std::string info;
  std::string body;
  std::size_t line;
};

std::vector<Fence> fences(const std::string &markdown) {
  std::vector<Fence> found;
  std::size_t lineNumber = 0;
  std::size_t start = 0;
  std::optional<Fence> open;
  while (start < markdown.size()) {
    std::size_t end = markdown.find('\n', start);
    if (end == std::string::npos) end = markdown.size();
    const std::string line = markdown.substr(start, end - start);
    start = end + 1;
    ++lineNumber;
    if (line.rfind("```", 0) == 0) {
      if (open) {
        found.push_back(*open);
        open.reset();
      } else {
        open = Fence{line.substr(3), "", lineNumber};
      }
    } else if (open) {
      open->body += line + "\n";
    }
  }
  return found;
}

// The script blocks of a document, each with the output block after it.
void addScripts(const std::string &document, std::vector<ReadmeScript> &scripts) {
  const std::vector<Fence> blocks = fences(readFile(std::string(EP_SOURCE_DIR) + "/" + document));
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    if (blocks[i].info != "script") continue;
    ReadmeScript s{document + " line " + std::to_string(blocks[i].line), blocks[i].body, std::nullopt};
    if (i + 1 < blocks.size() && blocks[i + 1].info == "output") s.output = blocks[i + 1].body;
    scripts.push_back(s);
  }
}

class ProgramReadme : public ProgramTest {
 protected:
  static std::string exampleMesh() { return std::string(EP_SOURCE_DIR) + "/examples/bars.obj"; }
};

TEST_F(ProgramReadme, EveryScriptRunsAndPrintsTheOutputShownAfterIt) {
  std::vector<ReadmeScript> scripts;
  addScripts("README.md", scripts);
  ASSERT_GE(scripts.size(), 1u) << "README.md lost its script example";
  addScripts("docs/program.md", scripts);
  ASSERT_GE(scripts.size(), 5u) << "docs/program.md lost its script examples";
  for (const ReadmeScript &s : scripts) {
    const auto r = run({exampleMesh(), "--script", "-", "-q"}, s.script);
    EXPECT_EQ(r.exitCode, 0) << s.where << "\n" << describe(r);
    EXPECT_EQ(r.err, "") << s.where;
    ASSERT_TRUE(s.output.has_value())
        << s.where << ": no ```output block after the script";
    EXPECT_EQ(r.out, *s.output) << s.where;
  }
}

TEST_F(ProgramReadme, WithoutArgumentsTheBundledExampleWritesItsFilesAndSaysWhere) {
  const auto r = run({});
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  // The last step tilts the first bar's top and bottom faces, whose normals
  // the file keeps.
  EXPECT_EQ(r.err,
            "warning: elasticpull-example-output/bars-stretched.obj: 2 faces with normals (vn) use moved "
            "points; the normals are kept as they were (--normals recompute gives them new ones)\n");
  EXPECT_NE(r.out.find("Outputs go to " + path("elasticpull-example-output").string() + "\n"),
            std::string::npos)
      << r.out;
  const auto folder = path("elasticpull-example-output");
  for (const char *name :
       {"bars-stretched.obj", "4-kept.obj", "1-factor.svg", "5-inverted.svg", "about.png"}) {
    EXPECT_TRUE(std::filesystem::exists(folder / name)) << name;
  }
  EXPECT_EQ(readFile(folder / "about.png").substr(1, 3), "PNG");
  EXPECT_EQ(readFile(folder / "5-inverted.svg").rfind("<svg", 0), 0u);

  // The result differs from the input only in vertex positions: every other
  // line is the same, in the same place.
  const std::string before = readFile(exampleMesh());
  const std::string after = readFile(folder / "bars-stretched.obj");
  const standin::ObjFile result = standin::ObjFile::parse(after, "bars-stretched.obj");
  ASSERT_EQ(result.pointCount(), 24u);
  EXPECT_EQ(result.position(0), (standin::ObjFile::Position{0, 4, 0}));  // the tour's last step
  std::istringstream a(before), b(after);
  std::string lineA, lineB;
  std::size_t differing = 0;
  while (std::getline(a, lineA) && std::getline(b, lineB)) {
    if (lineA == lineB) continue;
    ++differing;
    EXPECT_EQ(lineA.rfind("v ", 0), 0u) << lineA;
  }
  EXPECT_FALSE(std::getline(b, lineB)) << "the result has more lines";
  EXPECT_EQ(differing, 24u);
}

TEST_F(ProgramReadme, TheOneLineCommandGivesTheHandComputedResult) {
  // The first bar (points 0 to 7) is 2 high; Factor 1.5 lifts its top corners
  // to 3 and leaves the rest of the file alone.
  const auto r = run({exampleMesh(), "--select", "0-7", "--factor", "1.5", "-o", "out.obj"});
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  const standin::ObjFile in = standin::ObjFile::read(exampleMesh());
  const standin::ObjFile out = standin::ObjFile::read(path("out.obj").string());
  for (std::size_t i = 0; i < in.pointCount(); ++i) {
    standin::ObjFile::Position expected = in.position(i);
    if (i < 8 && i % 2 == 0) expected[1] = 3.0;
    EXPECT_EQ(out.position(i), expected) << "point " << i;
  }
  EXPECT_EQ(out.changedCount(), 0u);
}

TEST_F(ProgramReadme, DescribeShowsTheModuleAndActivatesIt) {
  const auto r = run({"--describe", "--module", EP_MODULE_PATH});
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  EXPECT_NE(r.out.find("  server class \"MeshEditTool\", name \"Elastic_Pull\"\n"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("activation result 0\nclosed\n"), std::string::npos) << r.out;
}

}  // namespace
