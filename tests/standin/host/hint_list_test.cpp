// Walking hint lists by their shape alone: the tag's low 7 bits count fixed words, 0x80 adds an ID list.
#include "standin/host/hint_list.h"

#include <gtest/gtest.h>

#include <vector>

namespace standin {
namespace {

TEST(HintWalk, ReadsFixedWordsAndIdListsOfTagsItDoesNotKnow) {
  // Tag words made up for the test: 2 fixed words (one of them 0), then 1 fixed word plus an ID list, then
  // a tag with an empty ID list and no fixed words.
  const LWXPanelHint list[] = {0x12345602, 0, 77, 0x7E000081, 5, 0x8001, 0x8002, 0, 0x11000080, 0, 0};
  const HintWalk walk = walkHints(list);
  ASSERT_TRUE(walk.complete);
  ASSERT_EQ(walk.hints.size(), 3u);

  EXPECT_EQ(walk.hints[0].tag, 0x12345602u);
  EXPECT_EQ(walk.hints[0].args, (std::vector<LWXPanelHint>{0, 77}));
  EXPECT_FALSE(walk.hints[0].hasIdList);

  EXPECT_EQ(walk.hints[1].args, (std::vector<LWXPanelHint>{5}));
  EXPECT_TRUE(walk.hints[1].hasIdList);
  EXPECT_EQ(walk.hints[1].ids, (std::vector<std::uintptr_t>{0x8001, 0x8002}));

  EXPECT_TRUE(walk.hints[2].args.empty());
  EXPECT_TRUE(walk.hints[2].hasIdList);
  EXPECT_TRUE(walk.hints[2].ids.empty());

  // Every word as received, up to and including the closing 0, and nothing after it.
  EXPECT_EQ(walk.words, std::vector<LWXPanelHint>(std::begin(list), std::end(list)));
}

TEST(HintWalk, ArgumentCountUsesOnlyTheLow7BitsOfTheLowByte) {
  // 0x..83: three fixed words and an ID list; the higher bytes never count.
  const LWXPanelHint list[] = {static_cast<LWXPanelHint>(0x7F7F7F83), 1, 2, 3, 9, 0, 0};
  const HintWalk walk = walkHints(list);
  ASSERT_TRUE(walk.complete);
  ASSERT_EQ(walk.hints.size(), 1u);
  EXPECT_EQ(walk.hints[0].args.size(), 3u);
  EXPECT_EQ(walk.hints[0].ids, (std::vector<std::uintptr_t>{9}));
}

TEST(HintWalk, ViewsPointIntoTheListAndAgreeWithTheCopies) {
  const LWXPanelHint list[] = {0x12345602, 0, 77, 0x7E000081, 5, 0x8001, 0x8002, 0, 0x11000080, 0, 0, 99};
  const HintViews views = viewHints(list);
  const HintWalk walk = walkHints(list);
  ASSERT_TRUE(views.complete);
  EXPECT_EQ(views.wordsRead, 11u);  // not the word after the closing 0
  ASSERT_EQ(views.hints.size(), walk.hints.size());
  for (std::size_t i = 0; i < views.hints.size(); ++i) {
    const Hint copy = views.hints[i].copy();
    EXPECT_EQ(copy.tag, walk.hints[i].tag) << i;
    EXPECT_EQ(copy.args, walk.hints[i].args) << i;
    EXPECT_EQ(copy.ids, walk.hints[i].ids) << i;
    EXPECT_EQ(copy.hasIdList, walk.hints[i].hasIdList) << i;
  }
  EXPECT_EQ(views.hints[0].args.data(), list + 1);
  EXPECT_EQ(views.hints[1].ids.data(), list + 5);
}

TEST(HintWalk, EmptyAndNullListsHaveNoHints) {
  const LWXPanelHint empty[] = {0};
  EXPECT_TRUE(walkHints(empty).complete);
  EXPECT_TRUE(walkHints(empty).hints.empty());
  EXPECT_EQ(walkHints(empty).words.size(), 1u);
  EXPECT_TRUE(walkHints(nullptr).complete);
  EXPECT_TRUE(walkHints(nullptr).words.empty());
}

TEST(HintWalk, StopsAtTheWordLimitWhenTheListNeverEnds) {
  struct Case {
    const char *what;
    std::vector<LWXPanelHint> words;
    std::size_t limit;
    std::size_t hintsRead;
  };
  const Case cases[] = {
      {"cut inside fixed words", {0x01000002, 1, 2, 0x01000002, 3}, 5, 1},
      {"cut inside an ID list", {0x01000081, 1, 2, 3, 4}, 5, 0},
      {"cut before the closing 0", {0x01000001, 1, 0x01000001, 2}, 4, 2},
  };
  for (const Case &c : cases) {
    const HintWalk walk = walkHints(c.words.data(), c.limit);
    EXPECT_FALSE(walk.complete) << c.what;
    EXPECT_EQ(walk.hints.size(), c.hintsRead) << c.what;
    EXPECT_EQ(walk.words.size(), c.limit) << c.what;
  }
}

}  // namespace
}  // namespace standin
