// Inputs read from a file, a pipe or a device: one that never ends is refused
// once it passes the limit, and one that is not text (a NUL byte, a
// byte-order mark past the start) at the line that shows it, instead of
// filling the memory.
#include "standin/session/text_input.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define EP_UNDER_CLANG_ASAN 1
#endif
#endif

namespace {

using standin::Failure;
using standin::FailureKind;
namespace fs = std::filesystem;

fs::path scratchFile(const std::string &name, const std::string &contents) {
  const fs::path dir = fs::path(EP_TEST_OUTPUT_DIR) / "text_input_test";
  fs::create_directories(dir);
  std::ofstream(dir / name, std::ios::binary) << contents;
  return dir / name;
}

// A regular file is read in one read of its size after a first 64 KiB: the
// text comes back whole at every size around that boundary.
TEST(TextInput, ARegularFileComesBackWholeAtEverySize) {
  for (std::size_t size : {0u, 1u, 65535u, 65536u, 65537u, 200001u}) {
    std::string text;
    for (std::size_t i = 0; i < size; ++i) text += static_cast<char>(i % 7 == 6 ? '\n' : 'a' + i % 26);
    EXPECT_EQ(standin::readTextFile(scratchFile("sized.txt", text).string()), text) << size << " bytes";
  }
}

TEST(TextInput, ANulBytePastTheFirstReadNamesItsLine) {
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "v 1 2 3\n";  // 160000 bytes, 20000 lines
  text += "v 1 ";
  text += '\0';
  try {
    standin::readTextFile(scratchFile("late-nul.obj", text).string());
    ADD_FAILURE() << "read a NUL byte";
  } catch (const Failure &error) {
    EXPECT_EQ(error.kind(), FailureKind::NotText);
    EXPECT_EQ(error.line(), 20001u);
  }
}

TEST(TextInput, AFileTheSystemCallsEmptyIsReadToItsEnd) {
  // /proc files report a size of 0 and have text.
  const std::string status = standin::readTextFile("/proc/self/status");
  EXPECT_NE(status.find("Name:"), std::string::npos);
  EXPECT_EQ(status.back(), '\n');
}

TEST(TextInput, AStreamThatNeverEndsIsRefusedAtTheLimit) {
  std::FILE *endless = popen("yes 'v 1 2 3'", "r");
  ASSERT_NE(endless, nullptr);
  try {
    standin::readTextStream(endless, std::size_t{1} << 20);
    ADD_FAILURE() << "read to the end of an endless stream";
  } catch (const Failure &error) {
    EXPECT_EQ(error.kind(), FailureKind::NotText);
    EXPECT_EQ(error.line(), 0u);
    EXPECT_STREQ(error.what(), "it does not end (more than 1 MiB from a pipe or a device)");
  }
  pclose(endless);  // yes ends on the closed pipe

  std::FILE *finite = popen("printf 'v 1 2 3\\nv 4 5 6\\n'", "r");
  ASSERT_NE(finite, nullptr);
  EXPECT_EQ(standin::readTextStream(finite, std::size_t{1} << 20), "v 1 2 3\nv 4 5 6\n");
  pclose(finite);
}

TEST(TextInput, ADeviceOfNulBytesStopsAtTheFirstOne) {
  try {
    standin::readTextFile("/dev/zero");
    ADD_FAILURE() << "read /dev/zero";
  } catch (const Failure &error) {
    EXPECT_EQ(error.kind(), FailureKind::NotText);
    EXPECT_EQ(error.line(), 1u);
  }
}

// A mark anywhere but at the very start would hide the line it starts: the
// reader names that line, from a file and from a stream alike.
TEST(TextInput, AByteOrderMarkPastTheStartIsRefusedAtItsLine) {
  const std::string mark = "\xEF\xBB\xBF";
  std::string longFirstRead;  // a mark split across the first read's end, on line 8193
  for (int i = 0; i < 8192; ++i) longFirstRead += "v 1 2 3\n";
  longFirstRead.resize(65533);
  longFirstRead += "\n" + mark + "v 0 1 0\n";
  struct Case {
    std::string text;
    std::size_t line;  // 0: read as it is
  };
  const Case cases[] = {
      {mark + "v 0 0 0\nv 0 1 0\n", 0},
      {"v 0 0 0\n" + mark + "v 0 1 0\nv 0 2 0\n", 2},
      {mark + mark + "v 0 0 0\n", 1},
      {"# caf" + mark + "\n", 1},
      {longFirstRead, 8193},
  };
  for (const Case &c : cases) {
    const std::string file = scratchFile("mark.obj", c.text).string();
    for (const bool stream : {false, true}) {
      std::FILE *in = stream ? std::fopen(file.c_str(), "rb") : nullptr;
      try {
        const std::string text = stream ? standin::readTextStream(in) : standin::readTextFile(file);
        EXPECT_EQ(c.line, 0u) << "read a mark at line " << c.line;
        EXPECT_EQ(text, c.text);
      } catch (const Failure &error) {
        EXPECT_EQ(error.kind(), FailureKind::NotText);
        EXPECT_EQ(error.line(), c.line) << error.what();
      }
      if (in != nullptr) std::fclose(in);
    }
  }
}

// A sparse file of 2 GiB is all NUL bytes: refused at its first read, never
// held whole (the reading runs in a child limited to 256 MiB of memory).
TEST(TextInput, AHugeFileThatIsNotTextIsRefusedWithoutReadingItWhole) {
#if defined(__SANITIZE_ADDRESS__) || defined(EP_UNDER_CLANG_ASAN)
  GTEST_SKIP() << "a sanitizer reserves more address space than the limit";
#else
  const fs::path sparse = scratchFile("sparse.obj", "v 1 2 3\n");
  fs::resize_file(sparse, std::uintmax_t{2} << 30);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const rlimit limit{std::size_t{256} << 20, std::size_t{256} << 20};
    setrlimit(RLIMIT_AS, &limit);
    try {
      standin::readTextFile(sparse.string());
    } catch (const Failure &error) {
      _exit(error.kind() == FailureKind::NotText && error.line() == 2 ? 0 : 1);
    } catch (...) {
      _exit(2);  // out of memory
    }
    _exit(3);
  }
  int status = 0;
  waitpid(child, &status, 0);
  fs::remove(sparse);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
#endif
}

}  // namespace
