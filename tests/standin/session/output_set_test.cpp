// Outputs put in place together: whichever write, flush or rename fails, or
// wherever an interrupt comes, the targets hold either all the new contents
// or all the old ones, and no temporary file is left.
#include "standin/session/output_set.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "standin/session/atomic_file.h"
#include "standin/session/atomic_file_calls.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
using standin::Failure;
using standin::FailureKind;

enum class Call { Write, Sync, Rename };

// Fails the k-th call of one kind with ENOSPC, or sets a flag there instead.
class FailingCalls : public standin::FileCalls {
 public:
  FailingCalls(Call call, int k, std::atomic<bool> *flag = nullptr) : call_(call), k_(k), flag_(flag) {
    before_ = standin::setFileCalls(this);
  }
  ~FailingCalls() override { standin::setFileCalls(before_); }
  long write(int fd, const char *data, std::size_t size) override {
    return hit(Call::Write) ? -1 : FileCalls::write(fd, data, size);
  }
  int sync(int fd) override { return hit(Call::Sync) ? -1 : FileCalls::sync(fd); }
  int rename(const fs::path &from, const fs::path &to) override {
    return hit(Call::Rename) ? -1 : FileCalls::rename(from, to);
  }
  bool reached() const { return count_ >= k_; }

 private:
  bool hit(Call call) {
    if (call != call_ || ++count_ != k_) return false;
    if (flag_ != nullptr) {
      flag_->store(true);
      return false;
    }
    errno = ENOSPC;
    return true;
  }
  Call call_;
  int k_;
  std::atomic<bool> *flag_;
  int count_ = 0;
  standin::FileCalls *before_ = nullptr;
};

class OutputSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(EP_TEST_OUTPUT_DIR) / "output_set_test" /
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "sub");
  }
  void TearDown() override { standin::setWriteInterruptFlag(nullptr); }
  std::string at(const std::string &name) const { return (dir_ / name).string(); }
  std::string read(const std::string &name) const {
    std::ifstream in(dir_ / name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return in ? text.str() : "(none)";
  }
  void put(const std::string &name, const std::string &text) const {
    std::ofstream(dir_ / name, std::ios::binary) << text;
  }
  std::size_t hiddenFiles() const {
    std::size_t count = 0;
    for (const auto &entry : fs::recursive_directory_iterator(dir_))
      count += entry.path().filename().string().rfind(".elasticpull-", 0) == 0 ? 1 : 0;
    return count;
  }
  // Three outputs: one replaces a file, two are new (one in another folder).
  void writeThree() const {
    standin::OutputSet set;
    set.add(at("a.txt"), "a.txt", "new a");
    set.add(at("b.txt"), "b.txt", "new b");
    set.add(at("sub/c.txt"), "sub/c.txt", "new c");
    set.commit();
  }
  fs::path dir_;
};

TEST_F(OutputSetTest, EveryFailingCallLeavesAllOrNothing) {
  for (const Call call : {Call::Write, Call::Sync, Call::Rename}) {
    for (int k = 1;; ++k) {
      ASSERT_LT(k, 20) << "the calls never ran through";
      put("a.txt", "old a");
      fs::remove(dir_ / "b.txt");
      fs::remove(dir_ / "sub/c.txt");
      FailingCalls calls(call, k);
      std::string outcome = "written";
      try {
        writeThree();
      } catch (const Failure &error) {
        outcome = error.kind() == FailureKind::NotDurable ? "written, not flushed" : "failed";
      }
      const std::string where = "call " + std::to_string(static_cast<int>(call)) + " #" + std::to_string(k);
      const bool none = outcome == "failed";
      EXPECT_EQ(read("a.txt"), none ? "old a" : "new a") << where << ": " << outcome;
      EXPECT_EQ(read("b.txt"), none ? "(none)" : "new b") << where << ": " << outcome;
      EXPECT_EQ(read("sub/c.txt"), none ? "(none)" : "new c") << where << ": " << outcome;
      EXPECT_EQ(hiddenFiles(), 0u) << where;
      if (!calls.reached()) break;
      EXPECT_NE(outcome, "written") << where << ": a failed call went unnoticed";
    }
  }
}

TEST_F(OutputSetTest, AnInterruptBeforeTheRenamesPutsNothingInPlace) {
  std::atomic<bool> flag{false};
  standin::setWriteInterruptFlag(&flag);
  for (const Call call : {Call::Write, Call::Sync}) {
    for (int k = 1;; ++k) {
      put("a.txt", "old a");
      fs::remove(dir_ / "b.txt");
      fs::remove(dir_ / "sub/c.txt");
      flag = false;
      FailingCalls calls(call, k, &flag);
      try {
        writeThree();  // the flag came once the renames had begun, or not at all
        EXPECT_EQ(read("a.txt") + read("b.txt") + read("sub/c.txt"), "new anew bnew c") << "k " << k;
      } catch (const Failure &error) {
        EXPECT_EQ(error.kind(), FailureKind::Interrupted);
        EXPECT_EQ(read("a.txt"), "old a") << "k " << k;
        EXPECT_EQ(read("b.txt") + read("sub/c.txt"), "(none)(none)") << "k " << k;
      }
      EXPECT_EQ(hiddenFiles(), 0u);
      if (!calls.reached()) break;
    }
  }
}

TEST_F(OutputSetTest, AFileWithSeveralNamesIsRefusedAndKeepsThemAll) {
  put("a.txt", "old a");
  fs::create_hard_link(dir_ / "a.txt", dir_ / "second.txt");
  if (fs::hard_link_count(dir_ / "a.txt") != 2)
    GTEST_SKIP() << "this system does not count a file's names (Wine)";
  try {
    standin::writeFileAtomically(at("a.txt"), "new a");
    ADD_FAILURE() << "replaced a file with two names";
  } catch (const Failure &error) {
    EXPECT_NE(std::string(error.what()).find("it has 2 names (hard links)"), std::string::npos)
        << error.what();
  }
  EXPECT_EQ(read("second.txt"), "old a");
  EXPECT_EQ(fs::hard_link_count(dir_ / "a.txt"), 2u) << "the names were parted";
  EXPECT_EQ(hiddenFiles(), 0u);
}

#ifndef _WIN32
TEST_F(OutputSetTest, AReplacedFileKeepsItsModeAndOwnerAndTheFolderIsFlushed) {
  put("a.txt", "old a");
  ASSERT_EQ(chmod(at("a.txt").c_str(), 0640), 0);
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(at("a.txt").c_str(), 4321, 8765), 0);
  }
  int syncs = 0;
  struct CountingCalls : standin::FileCalls {
    int *syncs;
    int sync(int fd) override {
      ++*syncs;
      return FileCalls::sync(fd);
    }
  } counting;
  counting.syncs = &syncs;
  standin::FileCalls *before = standin::setFileCalls(&counting);
  standin::writeFileAtomically(at("a.txt"), "new a");
  standin::setFileCalls(before);
  EXPECT_EQ(syncs, 2) << "the file, then its folder";
  struct stat info {};
  ASSERT_EQ(stat(at("a.txt").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  if (root) {
    EXPECT_EQ(info.st_uid, 4321u);
    EXPECT_EQ(info.st_gid, 8765u);
  }
}

// A signal handler finds every temporary file, however many are staged.
TEST_F(OutputSetTest, ASignalRemovesEveryStagedFile) {
  standin::OutputSet set;
  for (int i = 0; i < 300; ++i) set.add(at("p" + std::to_string(i)), "p", "picture");
  EXPECT_EQ(hiddenFiles(), 300u);
  standin::removeTemporaryFileOnSignal();
  EXPECT_EQ(hiddenFiles(), 0u);
}
#endif

}  // namespace
