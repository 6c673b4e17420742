// Choosing what the tool works on, against the module itself: pairs from the
// file's edges picked at once, lengths for some pairs only, another mesh
// opened (from its text, or a file a replay checks), and a drag taken back.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "standin/host/host_globals.h"
#include "standin/host/module_loader.h"
#include "standin/session/point_pairs.h"
#include "standin/session/session.h"

namespace {

using standin::Command;
using standin::parseCommand;

constexpr const char *kFirst = "v 0 2 0\nv 0 0 0\nv 3 3 1\nv 3 0 1\nf 1 2 4 3\n";
// Two upright line elements of lengths 1 and 3, and a slanted one.
constexpr const char *kSecond = "v 0 0 0\nv 0 1 0\nv 5 0 0\nv 5 3 0\nv 9 0 0\nv 8 2 0\nl 2 1\nl 4 3\nl 5 6\n";

class Chosen : public ::testing::Test {
 protected:
  Chosen() {
    globals_.messages().setEcho(nullptr);
    standin::SessionSetup setup;
    setup.out = &silent_;
    setup.err = &silent_;
    setup.liveViewport = true;
    setup.outputPath = output_.string();
    setup.outputReplacesMesh = true;  // as with --in-place: the output is the first mesh's own file
    session_ = std::make_unique<standin::Session>(module_, globals_, obj_, setup);
  }
  void run(const std::string &line) { session_->run(parseCommand(line)); }
  Command openText(const std::string &name, const std::string &text) {
    Command c;
    c.op = standin::CommandOp::Open;
    c.text = name;
    c.contents = text;
    return c;
  }
  double pairLength(std::size_t k) {
    const auto pairs = standin::deliveredPairs(session_->mesh());
    return standin::distance(session_->mesh().position(pairs.at(k).handle),
                             session_->mesh().position(pairs.at(k).anchor));
  }

  std::filesystem::path output_ = std::filesystem::path(EP_TEST_OUTPUT_DIR) / "session-choose-first.obj";
  standin::LoadedModule module_ = standin::LoadedModule::open(EP_MODULE_PATH);
  std::ostream silent_{nullptr};
  standin::HostGlobals globals_;
  standin::ObjFile obj_ = standin::ObjFile::parse(kFirst, "first.obj");
  std::unique_ptr<standin::Session> session_;
};

TEST_F(Chosen, AnOpenedMeshBeginsItsOwnHistoryAndIsNeverSavedOverTheMeshItReplaced) {
  run("pairs 0:1 pick");
  // The host's drop puts the tool down: it helps no more until it is activated again.
  const std::string help = session_->help();
  ASSERT_NE(help, "");
  run("drop");
  EXPECT_EQ(session_->help(), "");
  run("activate");
  EXPECT_EQ(session_->help(), help);
  run("factor 2");
  session_->run(openText("second.obj", kSecond));
  EXPECT_EQ(session_->file().name(), "second.obj");
  EXPECT_EQ(session_->mesh().size(), 6u);
  EXPECT_TRUE(session_->selection().empty());
  EXPECT_FALSE(session_->live());
  EXPECT_EQ(session_->help(), "") << "a closed tool helps no more";
  EXPECT_FALSE(session_->canUndo());
  EXPECT_FALSE(session_->unsaved());
  EXPECT_NE(session_->log().find("\nopen second.obj checksum " + standin::textChecksum(kSecond) + "\n"),
            std::string::npos)
      << session_->log();

  // The line elements as pairs, picked at once; then a length for pair 1 alone.
  const standin::CommandAnswer answer = session_->run(parseCommand("pairs-from-edges pick"));
  EXPECT_EQ(session_->selection(), (std::vector<std::size_t>{1, 0, 3, 2, 4, 5}));
  EXPECT_TRUE(answer.notes.empty());
  EXPECT_TRUE(session_->live());
  run("length 5 only 1");
  EXPECT_EQ(pairLength(0), 1.0);
  EXPECT_DOUBLE_EQ(pairLength(1), 5.0);
  run("match-pair 1 only 0,2");
  EXPECT_DOUBLE_EQ(pairLength(0), 5.0);
  EXPECT_DOUBLE_EQ(pairLength(2), 5.0);
  run("undo");
  EXPECT_EQ(pairLength(0), 1.0);
  EXPECT_TRUE(session_->unsaved());

  EXPECT_EQ(session_->outputPath(), "");
  std::filesystem::remove(output_);
  try {
    run("save");
    ADD_FAILURE() << "saved the opened mesh over the first one's file";
  } catch (const standin::Failure &error) {
    EXPECT_EQ(error.kind(), standin::FailureKind::Refused);
    EXPECT_NE(std::string(error.what()).find("is the mesh it replaced (--in-place)"), std::string::npos)
        << error.what();
  }
  EXPECT_FALSE(std::filesystem::exists(output_));
}

TEST_F(Chosen, AMeshThatCannotBeOpenedLeavesTheSessionAsItWas) {
  run("pairs 0:1 pick");
  run("factor 1.5");
  const std::string before = session_->log();
  struct Case {
    Command command;
    const char *says;
  };
  const std::filesystem::path file = std::filesystem::path(EP_TEST_OUTPUT_DIR) / "session-choose-second.obj";
  std::ofstream(file, std::ios::binary) << kSecond << "v 1 1 1\n";
  const Case cases[] = {
      {openText("bad.obj", "v 0 0 0\nv 1 x 0\n"), "bad.obj:2"},
      {parseCommand("open \"" + file.string() + "\" checksum " + standin::textChecksum(kSecond)),
       "this is not the file the session opened"},
      {parseCommand("open \"" + file.string() + ".missing\""), "missing"},
  };
  for (const Case &c : cases) {
    try {
      session_->run(c.command);
      ADD_FAILURE() << "opened " << standin::commandText(c.command);
    } catch (const standin::Failure &error) {
      EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos) << error.what();
    }
  }
  EXPECT_EQ(session_->file().name(), "first.obj");
  EXPECT_TRUE(session_->live());
  EXPECT_EQ(session_->mesh().position(0), (standin::Position{0, 3, 0}));
  EXPECT_TRUE(session_->canUndo());
}

TEST_F(Chosen, EdgesLeftOutAreToldInTheAnswerAndTheLog) {
  session_->run(openText("second.obj", kSecond));
  // The y edges: the two upright lines, and the slanted one only within 30 degrees.
  run("pairs-from-edges y pick");
  EXPECT_EQ(session_->selection(), (std::vector<std::size_t>{1, 0, 3, 2}));
  run("pairs-from-edges y within 30 pick");
  EXPECT_EQ(session_->selection(), (std::vector<std::size_t>{1, 0, 3, 2, 5, 4}));
  // In a chain every other segment is taken.
  session_->run(openText("chain.obj", "v 0 0 0\nv 0 1 0\nv 0 2 0\nl 1 2 3\n"));
  const standin::CommandAnswer answer = session_->run(parseCommand("pairs-from-edges"));
  EXPECT_EQ(session_->selection(), (std::vector<std::size_t>{0, 1}));
  ASSERT_EQ(answer.notes.size(), 1u);
  EXPECT_NE(answer.notes[0].find("already in an earlier pair"), std::string::npos) << answer.notes[0];
  EXPECT_NE(session_->log().find("\n# note: 1 of 2 segments"), std::string::npos) << session_->log();
  EXPECT_FALSE(session_->live()) << "without pick the tool stays as it was";
}

TEST_F(Chosen, CancelPutsBackWhatThePressAndItsDragsDidAndLeavesNothingToRedo) {
  run("pairs 0:1 pick");
  run("factor 1.5");
  EXPECT_THROW(run("cancel"), standin::Failure);
  run("press 0 3 0 handle 0");
  run("drag 0 5 0");
  run("drag 0 7 0");
  EXPECT_EQ(session_->mesh().position(0), (standin::Position{0, 7, 0}));
  run("cancel");
  EXPECT_EQ(session_->mesh().position(0), (standin::Position{0, 3, 0}));
  EXPECT_FALSE(session_->held());
  EXPECT_FALSE(session_->canRedo());
  run("undo");  // the Factor
  EXPECT_EQ(session_->mesh().position(0), (standin::Position{0, 2, 0}));
}

}  // namespace
