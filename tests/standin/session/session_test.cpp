// The session's history against the module itself: after every kind of
// step, undo gives exactly the session that running the same actions without
// that step gives (the mesh's bytes, the selection, the panel, the handles,
// the overlay, the help, and what the next actions do), and redo gives back
// the session as it was.
#include "standin/session/session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "standin/host/host_globals.h"
#include "standin/host/module_loader.h"

namespace {

using standin::Command;
using standin::parseCommand;

// Three pairs, one of them on a face, and a point left over.
constexpr const char *kMesh =
    "v 0 2 0\nv 0 0 0\nv 3 3.0 1\nv 3 0 1\nv 6 1 2\nv 6 4 2.50\nv 9 9 9\nf 1 2 4 3\nl 3 5\n";

// What a session shows, compared bit for bit.
struct Snapshot {
  std::string mesh, selection, panel, handles, overlay, help;
  bool operator==(const Snapshot &) const = default;
};

void PrintTo(const Snapshot &s, std::ostream *out) {
  *out << "mesh:\n"
       << s.mesh << "panel: " << s.panel << "\nhelp: " << s.help << "\nhandles " << s.handles.size()
       << " bytes, overlay " << s.overlay.size() << " bytes, selection " << s.selection.size() << " bytes";
}

template <typename T>
std::string bytes(const std::vector<T> &values) {
  return std::string(reinterpret_cast<const char *>(values.data()), values.size() * sizeof(T));
}

class Played {
 public:
  explicit Played(const standin::LoadedModule &module) {
    globals_.messages().setEcho(nullptr);
    standin::SessionSetup setup;
    setup.out = &silent_;
    setup.err = &silent_;
    setup.liveViewport = true;
    session_ = std::make_unique<standin::Session>(module, globals_, obj_, setup);
  }
  // Runs a command; false when the session refused it (nothing happened).
  bool run(const Command &c) {
    try {
      session_->run(c);
      return true;
    } catch (const standin::Failure &f) {
      refused += standin::commandText(c) + " -> " + f.what() + "\n";
      return false;
    }
  }
  Snapshot snapshot() {
    Snapshot s;
    session_->syncObj();
    s.mesh = obj_.text();
    s.selection = bytes(session_->selection());
    for (const standin::ControlView &c : session_->panelControls())
      s.panel += c.label + ":" + std::to_string(c.intValue) + ":" + std::to_string(c.doubleValue) + ":" +
                 (c.enabled ? "on" : "off") + ";";
    s.handles = bytes(session_->handles());
    // Asked together, in any order, the handles are the same.
    std::vector<std::uint32_t> backwards;
    for (int k = session_->handleCount(); k-- > 0;) backwards.push_back(static_cast<std::uint32_t>(k));
    std::vector<standin::Position> asked{{7, 7, 7}};
    session_->handlesAt(backwards, asked);
    std::reverse(asked.begin(), asked.end());
    EXPECT_EQ(bytes(asked), s.handles);
    for (const standin::WireCall &call : session_->overlay())
      s.overlay += std::string(reinterpret_cast<const char *>(&call.point), sizeof call.point) +
                   std::to_string(call.radius) + std::to_string(static_cast<int>(call.op)) +
                   std::to_string(call.mode);
    s.help = session_->help() + (session_->live() ? " live" : " closed");
    return s;
  }
  standin::Session &session() { return *session_; }
  std::string refused;

 private:
  std::ostream silent_{nullptr};
  standin::HostGlobals globals_;
  standin::ObjFile obj_ = standin::ObjFile::parse(kMesh, "three.obj");
  std::unique_ptr<standin::Session> session_;
};

// A random user action, as the commands of one step (or of none: looking).
std::vector<Command> randomAction(std::mt19937 &random, standin::Session &session) {
  auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
  auto y = [&] { return std::to_string(pick(40) / 8.0 - 1); };
  const std::vector<standin::Position> handles = session.handles();
  static const char *const kSimple[] = {"pick",
                                        "pick factor 1.5",
                                        "pick invert mode offset offset 0.25",
                                        "factor 2",
                                        "factor 50%",
                                        "mode offset",
                                        "mode factor",
                                        "offset 0.5",
                                        "symmetry on",
                                        "symmetry off",
                                        "invert",
                                        "reset",
                                        "drop",
                                        "activate",
                                        "keep 9 9 9",
                                        "click 1",
                                        "click 0 ctrl",
                                        "select 0-5",
                                        "pairs 1:0,5:4",
                                        "pairs 2:3",
                                        "select 0-5 pick",
                                        "pairs 5:4,1:0 pick",
                                        "pairs-from-edges y pick",
                                        "pairs-from-edges",
                                        "length 2 only 1",
                                        "match-pair 0 only 1-2 symmetry",
                                        "length 3",
                                        "match-pair 1 symmetry",
                                        "revert",
                                        "close",
                                        "about",
                                        "points",
                                        "panel"};
  const int kind = pick(static_cast<int>(std::size(kSimple)) + 3);
  if (kind < static_cast<int>(std::size(kSimple))) return {parseCommand(kSimple[kind])};
  std::vector<Command> step;
  const int handle = handles.empty() ? 0 : pick(static_cast<int>(handles.size()));
  const std::string at = handles.empty() || kind % 2 == 0
                             ? "0.5 " + y() + " 0.5"
                             : std::to_string(handles[handle][0]) + " " + std::to_string(handles[handle][1]) +
                                   " " + std::to_string(handles[handle][2]);
  const std::string grab = kind % 3 == 0 ? " start" : " handle " + std::to_string(handle);
  step.push_back(parseCommand("press " + at + (kind % 2 ? " ctrl" : "") + grab));
  for (int i = pick(4); i > 0; --i)
    step.push_back(parseCommand("drag 0 " + y() + " 0" + (i % 2 ? " ctrl" : "")));
  step.push_back(parseCommand(pick(4) == 0 ? "cancel" : "release"));
  return step;
}

// The module keeps its settings in module-wide memory for the next instance,
// as in the Modeler, where one tool is live at a time. The session that
// replays runs on a second copy of the module, with memory of its own.
// (A copy of its own for each test: a module file in use cannot be replaced
// on Windows.)
std::string moduleCopy() {
  const std::filesystem::path dir = std::filesystem::path(EP_TEST_OUTPUT_DIR) / "session-history";
  std::filesystem::create_directories(dir);
  const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  const std::filesystem::path copy =
      dir / (test + "-" + std::filesystem::path(EP_MODULE_PATH).filename().string());
  std::error_code ignored;
  std::filesystem::remove(copy, ignored);
  std::filesystem::copy_file(EP_MODULE_PATH, copy);
  return copy.string();
}

class SessionHistory : public ::testing::Test {
 protected:
  standin::LoadedModule module_ = standin::LoadedModule::open(EP_MODULE_PATH);
};

// Runs an action's commands; those that ran.
std::vector<Command> runAll(Played &played, const std::vector<Command> &action) {
  std::vector<Command> ran;
  for (const Command &c : action)
    if (played.run(c)) ran.push_back(c);
  return ran;
}

bool isStep(const std::vector<Command> &ran) {
  return !ran.empty() && standin::changesSession(ran.front().op);
}

// A fresh session that runs `steps`, then a random next action: what it
// shows after each, and what of the action ran. (One host is current at a
// time, so it is gone before the session it is compared with runs again.)
struct Replayed {
  Snapshot before, after;
  std::vector<Command> next, nextRan;
};
Replayed replay(const standin::LoadedModule &module, const std::vector<std::vector<Command>> &steps,
                std::mt19937 &random) {
  Played without(module);
  for (const auto &step : steps) runAll(without, step);
  Replayed r;
  r.before = without.snapshot();
  r.next = randomAction(random, without.session());
  r.nextRan = runAll(without, r.next);
  r.after = without.snapshot();
  return r;
}

TEST_F(SessionHistory, UndoGivesTheSessionWithoutTheStepAndRedoGivesItBack) {
  const standin::LoadedModule copy = standin::LoadedModule::open(moduleCopy());
  for (unsigned seed = 1; seed <= 24; ++seed) {
    std::mt19937 random(seed);
    Played played(module_);
    std::vector<std::vector<Command>> steps = {{parseCommand("select 0-5")}, {parseCommand("pick")}};
    for (const auto &step : steps) played.run(step.front());
    for (int n = 0; n < 20; ++n) {
      const Snapshot beforeAction = played.snapshot();
      const std::vector<Command> ran = runAll(played, randomAction(random, played.session()));
      // A cancelled drag leaves the session as it was before its press.
      if (!ran.empty() && ran.back().op == standin::CommandOp::Cancel) {
        ASSERT_EQ(played.snapshot(), beforeAction);
        continue;
      }
      if (!isStep(ran)) continue;
      std::string story;
      for (const auto &step : steps)
        for (const Command &c : step) story += standin::commandText(c) + "\n";
      SCOPED_TRACE("seed " + std::to_string(seed) + ", after\n" + story + "the step " +
                   standin::commandText(ran.front()));
      const Snapshot after = played.snapshot();
      const Replayed without = replay(copy, steps, random);
      ASSERT_TRUE(played.run(parseCommand("undo")));
      ASSERT_EQ(played.snapshot(), without.before) << played.refused;
      ASSERT_TRUE(played.run(parseCommand("redo")));
      ASSERT_EQ(played.snapshot(), after);
      // Undone again, the next action does the same as without the step.
      ASSERT_TRUE(played.run(parseCommand("undo")));
      EXPECT_EQ(runAll(played, without.next), without.nextRan);
      ASSERT_EQ(played.snapshot(), without.after);
      if (isStep(without.nextRan)) steps.push_back(without.nextRan);
    }
  }
}

TEST_F(SessionHistory, UndoRefusesWhileAPressIsHeldAndWhenNothingIsLeft) {
  Played played(module_);
  played.run(parseCommand("pairs 1:0"));
  played.run(parseCommand("pick"));
  played.session().beginHistoryHere();
  EXPECT_FALSE(played.run(parseCommand("undo"))) << "the history begins at the served pick";
  ASSERT_TRUE(played.run(parseCommand("press 0 0 0 handle 0")));
  EXPECT_FALSE(played.run(parseCommand("undo")));
  ASSERT_TRUE(played.run(parseCommand("release")));
  EXPECT_TRUE(played.run(parseCommand("undo")));
  EXPECT_FALSE(played.run(parseCommand("redo")) && played.run(parseCommand("redo")));
}

// A script stops after the command at which the tool failed (here a pick with
// one point: a warning box and a failed build), unless it said to go on; the
// log of a session in which the tool failed replays past the failure.
TEST_F(SessionHistory, AScriptStopsAtTheToolsFailureUnlessItSaysToGoOn) {
  struct Case {
    const char *script;
    std::size_t ran;
  };
  const Case cases[] = {
      {"select 0-1\npick\nfactor 2\n", 3},
      {"select 0\npick\nselect 0-1\npick\n", 2},
      {"on-failure continue\nselect 0\npick\nselect 0-1\npick\n", 5},
      {"on-failure continue\nselect 0\npick\non-failure stop\npick\nselect 0-1\n", 5},
  };
  for (const Case &c : cases) {
    Played played(module_);
    const standin::Script script = standin::parseScript(c.script, "s.txt");
    EXPECT_EQ(played.session().runScript(script), c.ran) << c.script;
    const bool failed = !played.session().failures().empty();
    EXPECT_EQ(failed, std::string(c.script).find("select 0\n") != std::string::npos) << c.script;
    // Its second line, after the header.
    const std::string log = played.session().log();
    EXPECT_EQ(log.find("\non-failure continue\n") == log.find('\n'), failed) << log;
  }
}

// Histories the session fuzz target found: the last command is refused and
// changes nothing (its log neither), or it is a step that undo then redo
// must give back exactly.
TEST_F(SessionHistory, RefusedCommandsChangeNothingAndUndoRedoIsExactWhileAPressIsHeld) {
  struct Case {
    std::vector<const char *> lines;
    bool refused;  // the last line is refused; otherwise it is the step undone and redone
  };
  const Case cases[] = {
      // A pick whose values the new panel refuses, after the tool was closed.
      {{"select 0-3", "pick mode offset", "offset 1", "close", "pick offset 2"}, true},
      // The same with the tool live and a press held.
      {{"pairs 1:0,3:2", "pick mode offset", "press point 0 ctrl", "drag 1 3 0 ctrl", "pick offset 2"}, true},
      // Revert while a press is held: redo runs where undo put the press back.
      {{"select 0-3", "pick", "press point 0 ctrl", "drag 1 3 0 ctrl", "factor 150%", "revert"}, false},
      // A refused panel edit while a press is held does not end the press's step.
      {{"pairs 1:0,3:2", "pick mode offset symmetry on offset 0.5", "press point 0 ctrl", "drag 1 3 0 ctrl",
        "factor 150%", "release"},
       false},
      // About's build after a right click moved points; undo's rebuild runs it again.
      {{"select 0-3", "pick invert factor 2", "press point 3 ctrl right", "about", "close"}, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.lines.back());
    Played played(module_);
    for (std::size_t i = 0; i + 1 < c.lines.size(); ++i) played.run(parseCommand(c.lines[i]));
    const Snapshot before = played.snapshot();
    const std::string log = played.session().log();
    const auto settings = played.session().settings();
    const bool live = played.session().live();
    const bool ran = played.run(parseCommand(c.lines.back()));
    ASSERT_EQ(ran, !c.refused) << played.refused;
    if (c.refused) {
      // All but the help line: a closed tool's last help is not kept.
      Snapshot now = played.snapshot();
      now.help = before.help;
      EXPECT_EQ(now, before);
      EXPECT_EQ(played.session().live(), live);
      ASSERT_EQ(played.session().settings().has_value(), settings.has_value());
      if (settings) {
        EXPECT_EQ(played.session().settings()->mode, settings->mode);
      }
      EXPECT_EQ(played.session().log(), log);
      continue;
    }
    const Snapshot after = played.snapshot();
    if (!played.run(parseCommand("undo")) || !played.run(parseCommand("redo"))) {
      ADD_FAILURE() << played.refused;
      continue;
    }
    EXPECT_EQ(played.snapshot(), after);
  }
}

}  // namespace
