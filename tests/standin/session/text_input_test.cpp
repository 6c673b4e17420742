// Inputs read from a pipe or a device: one that never ends is refused once it
// passes the limit, instead of filling the memory.
#include "standin/session/text_input.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

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

}  // namespace
