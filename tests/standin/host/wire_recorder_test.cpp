// Draws recorded over the one before: after each draw the calls are that draw's,
// and the changes taken name every place that differs from what was there at
// the last take, with what it held then.
#include "standin/host/wire_recorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <vector>

namespace {

using standin::WireCall;
using standin::WireChange;
using standin::WireRecorder;

TEST(WireRecorderTest, ChangesTakenNameEveryPlaceThatDiffersSinceTheLastTake) {
  WireRecorder recorder;
  recorder.keepChanges();
  std::mt19937 random(7);
  std::vector<WireCall> taken;  // the calls at the last take
  // Enough draws for several hundred takes (the recorder numbers its takes in a byte).
  for (int draw = 0; draw < 1000; ++draw) {
    // A draw like the one before with a few calls changed, or of another length.
    std::vector<float> values(1 + random() % 40);
    for (float &v : values) v = static_cast<float>(random() % 4);
    if (random() % 5 == 0) values[0] = -0.0f;  // differs from 0.0 to the bit
    // Now and then the calls change kind at their places.
    const std::size_t shift = random() % 4 == 0 ? random() % 3 : 0;
    recorder.clear();
    for (std::size_t i = 0; i < values.size(); ++i) {
      const float p[3] = {values[i], 1, 2};
      if ((i + shift) % 3 == 2)
        recorder.circle(values[i], 101);
      else if ((i + shift) % 3 == 1)
        recorder.lineTo(p, 0);
      else
        recorder.moveTo(p, 1);
    }
    const std::vector<WireCall> &now = recorder.calls();
    ASSERT_EQ(now.size(), values.size());
    ASSERT_EQ(recorder.size(), values.size());
    // Each call as drawn, bit for bit, read from the list or one by one.
    for (std::size_t i = 0; i < values.size(); ++i) {
      const bool round = (i + shift) % 3 == 2;
      WireCall drawn{round ? standin::WireOp::Circle : (i + shift) % 3 == 1 ? standin::WireOp::LineTo
                                                                            : standin::WireOp::MoveTo,
                     {}, 0.0, round ? 101 : (i + shift) % 3 == 1 ? 0 : 1};
      if (round)
        drawn.radius = values[i];
      else
        drawn.point = {values[i], 1, 2};
      ASSERT_TRUE(standin::sameWireCall(now[i], drawn)) << "draw " << draw << ", call " << i;
      ASSERT_TRUE(standin::sameWireCall(recorder.at(i), drawn)) << "draw " << draw << ", call " << i;
    }
    if (random() % 3 != 0) continue;  // changes pile up over several draws
    // What the recorder says of each place before the take is what the take lists.
    std::vector<bool> flagged(std::max(now.size(), taken.size()) + 50);
    for (std::size_t slot = 0; slot < flagged.size(); ++slot) flagged[slot] = recorder.changedSinceTake(slot);
    std::vector<bool> listed(std::max(now.size(), taken.size()), false);
    for (const WireChange &change : recorder.takeChanges()) {
      // A longer draw in between may have appended places dropped since.
      if (change.slot >= listed.size()) listed.resize(change.slot + 1, false);
      EXPECT_FALSE(listed[change.slot]) << "listed twice: " << change.slot;
      listed[change.slot] = true;
      ASSERT_EQ(change.existed, change.slot < taken.size());
      if (change.existed) {
        EXPECT_TRUE(standin::sameWireCall(change.before(), taken[change.slot]));
        EXPECT_TRUE(change.same(taken[change.slot]));
        // What it says of the call there now.
        if (change.slot < now.size()) {
          const WireCall &was = taken[change.slot], &is = now[change.slot];
          EXPECT_EQ(change.sameKind,
                    is.op == was.op && is.mode == was.mode && is.op != standin::WireOp::Circle);
          if (change.sameKind) {
            EXPECT_EQ(change.nowPoint, is.point);
          }
        }
      }
    }
    for (std::size_t slot = 0; slot < flagged.size(); ++slot)
      EXPECT_EQ(flagged[slot], slot < listed.size() && listed[slot]) << slot;
    EXPECT_FALSE(recorder.changedSinceTake(0));
    for (std::size_t slot = 0; slot < listed.size(); ++slot) {
      const bool differs =
          slot >= now.size() || slot >= taken.size() || !standin::sameWireCall(now[slot], taken[slot]);
      if (differs) {
        EXPECT_TRUE(listed[slot]) << "draw " << draw << ", place " << slot;
      }
    }
    taken = now;
  }
}

}  // namespace

// Calls that follow their points: a recorder given links and the points marks
// a changed call that sits on its point's new place instead of noting it. Over
// random draws (calls on points, off them, of other ops and modes, longer and
// shorter, places changed after later ones, several draws between takes,
// points moved after a draw), each take must say what a recorder without
// links says: takeChanges() the same notes; takeUnfollowedChanges() the same
// but for the calls that follow their points while the points are as they
// were marked against, and all of them otherwise.
TEST(WireRecorderTest, CallsMarkedAsFollowingTheirPointsAreTheChangesOfARecorderWithoutLinks) {
  WireRecorder fast, plain;
  fast.keepChanges();
  plain.keepChanges();
  std::vector<std::array<double, 3>> points(12);
  std::uint64_t pointChanges = 0;
  fast.followPoints(&points, &pointChanges);
  std::mt19937 random(11);
  const double values[] = {0.0, -0.0, 1.0, 1.0 + 0x1p-30, 2.5, 3e38, 3.5e38, -1e300};
  // Mostly new places of their own; now and then one of a few shared values
  // (two points at one place, -0.0, past the largest float).
  auto movePoints = [&] {
    for (auto &p : points)
      if (random() % 2 == 0)
        p = {random() % 4 == 0 ? values[random() % 8] : static_cast<double>(random() % 1000) / 7,
             values[random() % 8], static_cast<double>(random() % 2)};
    ++pointChanges;
  };
  movePoints();
  auto drawnAt = [&](std::size_t point) {
    return std::array<float, 3>{standin::drawnFloat(points[point][0]), standin::drawnFloat(points[point][1]),
                                standin::drawnFloat(points[point][2])};
  };
  std::vector<WireCall> last;
  std::size_t followedTakes = 0, markedSeen = 0, heldTakes = 0, brokenTakes = 0;
  for (int draw = 0; draw < 3000; ++draw) {
    if (random() % 2 == 0) movePoints();
    // Each call: on a point (the same point at its place most of the time),
    // off any point, or a circle; now and then of another op or mode.
    const std::size_t count = 20 + random() % 12;
    std::vector<WireCall> calls(count);
    for (std::size_t i = 0; i < count; ++i) {
      WireCall &c = calls[i];
      // A call that stays where it was while its point moves.
      if (i < last.size() && random() % 8 == 0) {
        c = last[i];
        continue;
      }
      const auto kind = i % 10 == 9 ? 0 : random() % 20;
      c.op = kind == 0 ? standin::WireOp::Circle : i % 2 == 0 ? standin::WireOp::MoveTo : standin::WireOp::LineTo;
      if (random() % 20 == 0) c.op = standin::WireOp::Spline;
      c.mode = random() % 20 == 0 ? 101 : static_cast<int>(i % 2);
      if (c.op == standin::WireOp::Circle)
        c.radius = random() % 2 == 0 ? 0.5 : 1.5;
      else if (kind > 1)
        c.point = drawnAt((i / 3 + (random() % 6 == 0 ? random() : 0)) % points.size());
      else
        c.point = {static_cast<float>(random() % 3), 1, 2};
    }
    last = calls;
    // Some draws change a place before an earlier one: drawn twice over.
    const int passes = random() % 8 == 0 ? 2 : 1;
    for (int pass = 0; pass < passes; ++pass) {
      fast.clear();
      plain.clear();
      for (std::size_t i = 0; i < count; ++i) {
        WireCall c = calls[i];
        if (pass == 0 && passes == 2 && i > count / 2 && c.op != standin::WireOp::Circle) c.point[0] += 7;
        for (WireRecorder *r : {&fast, &plain}) {
          if (c.op == standin::WireOp::Circle)
            r->circle(c.radius, c.mode);
          else if (c.op == standin::WireOp::MoveTo)
            r->moveTo(c.point.data(), c.mode);
          else if (c.op == standin::WireOp::LineTo)
            r->lineTo(c.point.data(), c.mode);
          else
            r->spline(c.point.data(), c.mode);
        }
      }
    }
    ASSERT_EQ(fast.size(), plain.size());
    for (std::size_t slot = 0; slot < fast.size(); ++slot)
      ASSERT_TRUE(standin::sameWireCall(fast.at(slot), plain.at(slot))) << "draw " << draw << ", " << slot;
    // Now and then the points move after a draw, before the take.
    if (random() % 6 == 0) movePoints();
    if (random() % 3 != 0) continue;
    for (std::size_t slot = 0; slot < fast.size() + 10; ++slot)
      ASSERT_EQ(fast.changedSinceTake(slot), plain.changedSinceTake(slot)) << "draw " << draw << ", " << slot;
    markedSeen += fast.followedCount();
    const bool unfollowed = random() % 2 == 0, held = fast.followsHold();
    heldTakes += unfollowed && held && fast.followedCount() > 0;
    brokenTakes += unfollowed && !held;
    std::vector<WireChange> fastChanges, plainChanges;
    if (unfollowed)
      fast.takeUnfollowedChanges(fastChanges);
    else
      fast.takeChanges(fastChanges);
    plain.takeChanges(plainChanges);
    auto bySlot = [](const WireChange &a, const WireChange &b) { return a.slot < b.slot; };
    std::sort(fastChanges.begin(), fastChanges.end(), bySlot);
    std::sort(plainChanges.begin(), plainChanges.end(), bySlot);
    const standin::WireLinks &links = fast.links();
    std::size_t k = 0;
    for (const WireChange &p : plainChanges) {
      const bool listed = k < fastChanges.size() && fastChanges[k].slot == p.slot;
      if (!listed) {
        // Left out: only a call that follows its point, while the marks hold.
        ASSERT_TRUE(unfollowed && held) << "draw " << draw << ", " << p.slot;
        ASSERT_TRUE(p.existed && p.sameKind && p.slot < links.calls.size() &&
                    links.calls[p.slot] < points.size())
            << "draw " << draw << ", " << p.slot;
        const std::uint32_t point = links.calls[p.slot];
        EXPECT_EQ(p.nowPoint, drawnAt(point)) << "draw " << draw << ", " << p.slot;
        EXPECT_EQ(std::memcmp(p.value.data(), links.pointsAt[point].data(), sizeof p.value), 0);
        ++followedTakes;
        continue;
      }
      const WireChange &f = fastChanges[k++];
      ASSERT_EQ(f.existed, p.existed) << "draw " << draw << ", " << p.slot;
      if (!p.existed) continue;
      EXPECT_TRUE(f.same(p.before())) << "draw " << draw << ", " << p.slot;
      if (p.slot < plain.size()) {
        EXPECT_EQ(f.sameKind, p.sameKind) << "draw " << draw << ", " << p.slot;
        if (p.sameKind) {
          EXPECT_EQ(f.nowPoint, p.nowPoint) << "draw " << draw << ", " << p.slot;
        }
      }
    }
    EXPECT_EQ(k, fastChanges.size()) << "draw " << draw << ": a change the recorder without links has not";
    // As a viewer does after each take: each call linked to a point it sits
    // on (the first such, or none), and the points' floats as they are now.
    standin::WireLinks &edit = fast.editLinks();
    edit.calls.assign(fast.size(), standin::WireLinks::kNone);
    edit.pointsAt.resize(points.size());
    for (std::size_t p = 0; p < points.size(); ++p) edit.pointsAt[p] = drawnAt(p);
    for (std::size_t slot = 0; slot < fast.size(); ++slot) {
      const WireCall c = fast.at(slot);
      for (std::size_t p = 0; p < points.size() && c.op != standin::WireOp::Circle; ++p)
        if (std::memcmp(c.point.data(), edit.pointsAt[p].data(), sizeof c.point) == 0) {
          edit.calls[slot] = static_cast<std::uint32_t>(p);
          break;
        }
    }
  }
  // The run went through calls marked and left out, and marks that did not hold.
  EXPECT_GT(markedSeen, 500u);
  EXPECT_GT(heldTakes, 50u);
  EXPECT_GT(followedTakes, 200u);
  EXPECT_GT(brokenTakes, 20u);
}
