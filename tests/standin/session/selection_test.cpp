// Selections written as indices and ranges.
#include "standin/session/selection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using standin::Failure;
using standin::formatSelection;
using standin::parseSelection;
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
      {" ALL ", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},  // a quoted keyword keeps its case
      {"aLl", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
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
    } catch (const Failure &error) {
      EXPECT_EQ(std::string(error.what()), c.message) << c.text;
    }
  }
  EXPECT_THROW(parseSelection("0", 0), Failure);
}

TEST(Selection, FormatJoinsRunsAndReadsBack) {
  const Indices indices{0, 1, 2, 5, 7, 8};
  EXPECT_EQ(formatSelection(indices), "0-2,5,7-8");
  EXPECT_EQ(parseSelection(formatSelection(indices), 9), indices);
  EXPECT_EQ(formatSelection({}), "");
}

TEST(Pairs, WrittenOrderIsThePairsOrderHandleEndFirst) {
  using standin::PointPair;
  using Pairs = std::vector<PointPair>;
  struct Case {
    const char *text;
    Pairs expected;
  };
  const Case cases[] = {
      {"4:0,5:1", {{4, 0}, {5, 1}}},
      {"5:1,4:0", {{5, 1}, {4, 0}}},
      {" 0 : 9 , 3:2 ", {{0, 9}, {3, 2}}},
  };
  for (const Case &c : cases) {
    const Pairs pairs = standin::parsePairs(c.text, 10);
    EXPECT_EQ(pairs, c.expected) << c.text;
    EXPECT_EQ(standin::parsePairs(standin::formatPairs(pairs), 10), pairs) << c.text;
  }
  EXPECT_EQ(standin::pairPoints({{4, 0}, {5, 1}}), (Indices{4, 0, 5, 1}));
}

TEST(Pairs, MistakesAndPairsTheToolCannotStretchAreNamed) {
  struct Case {
    const char *text;
    const char *message;
  };
  const Case cases[] = {
      {" ", "no pairs given (expected HANDLE:ANCHOR pairs such as 4:0,5:1)"},
      {"4:0,,5:1", "empty item in pairs '4:0,,5:1'"},
      {"4", "bad pair '4': expected HANDLE:ANCHOR, two point indices such as 4:0"},
      {"4:", "bad pair '4:': expected HANDLE:ANCHOR, two point indices such as 4:0"},
      {"4:-1", "bad pair '4:-1': expected HANDLE:ANCHOR, two point indices such as 4:0"},
      {"0-3:4", "bad pair '0-3:4': expected HANDLE:ANCHOR, two point indices such as 4:0"},
      {"4:10", "point index 10 is out of range: the mesh has 10 points (0-9)"},
      {"1:0,3:3", "pair 1 (3:3) joins point 3 to itself"},
      // A chain: point 1 is the first pair's anchor and the second's handle.
      {"2:1,1:0",
       "point 1 is in pair 0 (2:1) and in pair 1 (1:0): a point can be the end of one pair only (the host "
       "hands each selected point to the tool once); stretch such pairs in separate runs or script steps"},
      {"1:0,2:5,3:0", "point 0 is in pair 0 (1:0) and in pair 2 (3:0): "},
  };
  for (const Case &c : cases) {
    try {
      standin::parsePairs(c.text, 10);
      ADD_FAILURE() << "'" << c.text << "' was accepted";
    } catch (const Failure &error) {
      EXPECT_EQ(std::string(error.what()).substr(0, std::string(c.message).size()), c.message) << c.text;
    }
  }
}

}  // namespace
