// The user guide's pictures (docs/guide.md): the command docs/building.md gives
// makes them again, here into the build tree, and they are the committed ones
// byte for byte; every picture the guide links is committed and made, and
// every one made is linked.
#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "tests/standin/cli/program_run.h"
#include "tests/standin/pictures/svg_document.h"

namespace {

namespace fs = std::filesystem;
using program_test::readFile;
using program_test::shellQuote;

std::set<std::string> svgFilesIn(const fs::path &folder) {
  std::set<std::string> names;
  for (const auto &entry : fs::directory_iterator(folder))
    if (entry.path().extension() == ".svg") names.insert(entry.path().filename().string());
  return names;
}

TEST(GuidePictures, TheREADMEsCommandMakesEveryLinkedPictureAsCommitted) {
  const fs::path source = EP_SOURCE_DIR, made = fs::path(EP_TEST_OUTPUT_DIR) / "guide-pictures";
  const fs::path log = fs::path(EP_TEST_OUTPUT_DIR) / "guide-pictures.log";
  fs::remove_all(made);
  const std::string command = "bash " + shellQuote((source / "scripts/make-guide-pictures.sh").string()) +
                              " --program " + shellQuote(EP_HOST_PROGRAM) + " --into " +
                              shellQuote(made.string()) + " >" + shellQuote(log.string()) + " 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << readFile(log);

  const std::string guide = readFile(source / "docs/guide.md");
  const std::regex link(R"(!\[[^\]]*\]\((guide/[^)]+)\))");
  std::set<std::string> linked;
  for (auto it = std::sregex_iterator(guide.begin(), guide.end(), link); it != std::sregex_iterator(); ++it) {
    const fs::path picture = (*it)[1].str();
    linked.insert(picture.filename().string());
    const std::string committed = readFile(source / "docs" / picture),
                      fresh = readFile(made / picture.filename());
    EXPECT_FALSE(fresh.empty()) << picture << " was not made";
    EXPECT_TRUE(committed == fresh) << picture << " differs from what the command makes: run "
                                    << "bash scripts/make-guide-pictures.sh and commit the pictures";
    EXPECT_TRUE(svg_test::parse(fresh).wellFormed) << picture;
  }
  EXPECT_GE(linked.size(), 10u);
  EXPECT_EQ(svgFilesIn(made), linked) << "every picture made is linked from the guide";
  EXPECT_EQ(svgFilesIn(source / "docs/guide"), linked) << "no committed picture is left unlinked";
}

}  // namespace
