// Selections written as indices and ranges.
#include "standin/session/selection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using standin::formatSelection;
using standin::parseSelection;
using standin::SelectionError;
using Indices = std::vector<std::size_t>;

TEST(Selection, IndicesAndRangesBecomeAnAscendingSetInMeshOrder) {
  struct Case {
    const char *text;
    Indices expected;
  };
  const Case cases[] = {
      {"0-3,8,9", {0, 1, 2, 3, 8, 9}},
      {"9,8,0-3", {0, 1, 2, 3, 8, 9}},  // written order does not make pairs
      {" 2 , 2-3 ,1 ", {1, 2, 3}},      // repeats and blanks
      {"5-5", {5}},
      {"all", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
  };
  for (const Case &c : cases) EXPECT_EQ(parseSelection(c.text, 10), c.expected) << c.text;
}

TEST(Selection, MistakesAreNamed) {
  struct Case {
    const char *text;
    const char *message;
  };
  const Case cases[] = {
      {"", "empty selection"},
      {"0,,1", "empty item in selection '0,,1'"},
      {"1,", "empty item in selection '1,'"},
      {"a", "bad selection item 'a': expected a point index or a range such as 0-3"},
      {"-1", "bad selection item '-1': expected a point index or a range such as 0-3"},
      {"1-", "bad selection item '1-': expected a point index or a range such as 0-3"},
      {"1.5", "bad selection item '1.5': expected a point index or a range such as 0-3"},
      {"3-1", "bad range '3-1': its end is before its start"},
      {"10", "point index 10 is out of range: the mesh has 10 points (0-9)"},
      {"8-12", "point index 12 is out of range: the mesh has 10 points (0-9)"},
      {"99999999999999999999999", "point index 99999999999999999999999 is out of range"},
  };
  for (const Case &c : cases) {
    try {
      parseSelection(c.text, 10);
      ADD_FAILURE() << "'" << c.text << "' was accepted";
    } catch (const SelectionError &error) {
      EXPECT_EQ(std::string(error.what()), c.message) << c.text;
    }
  }
  EXPECT_THROW(parseSelection("0", 0), SelectionError);
}

TEST(Selection, FormatJoinsRunsAndReadsBack) {
  const Indices indices{0, 1, 2, 5, 7, 8};
  EXPECT_EQ(formatSelection(indices), "0-2,5,7-8");
  EXPECT_EQ(parseSelection(formatSelection(indices), 9), indices);
  EXPECT_EQ(formatSelection({}), "");
}

}  // namespace
