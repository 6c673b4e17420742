// Inputs read from a pipe or a device: one that never ends is refused once it
// passes the limit, instead of filling the memory.
#include "standin/session/text_input.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

using standin::TextInputError;

TEST(TextInput, AStreamThatNeverEndsIsRefusedAtTheLimit) {
  std::FILE *endless = popen("yes 'v 1 2 3'", "r");
  ASSERT_NE(endless, nullptr);
  try {
    standin::readTextStream(endless, std::size_t{1} << 20);
    ADD_FAILURE() << "read to the end of an endless stream";
  } catch (const TextInputError &error) {
    EXPECT_EQ(error.kind(), TextInputError::Kind::NeverEnds);
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
  } catch (const TextInputError &error) {
    EXPECT_EQ(error.kind(), TextInputError::Kind::NotText);
    EXPECT_EQ(error.line(), 1u);
  }
}

}  // namespace
