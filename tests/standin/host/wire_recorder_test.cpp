// Draws recorded over the one before: after each draw the calls are that draw's,
// and the changes taken name every place that differs from what was there at
// the last take, with what it held then.
#include "standin/host/wire_recorder.h"

#include <gtest/gtest.h>

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
