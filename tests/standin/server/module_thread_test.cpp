// The module thread: work runs there, in order, and nothing a task throws
// ends the thread or is lost.
#include "standin/server/module_thread.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

using standin::ModuleThread;

TEST(ModuleThread, RunsWorkInOrderOnItsOwnThreadAndHandsBackResultsAndFailures) {
  std::vector<std::string> failures;
  std::vector<int> order;
  {
    ModuleThread thread([&](std::exception_ptr e) {
      try {
        std::rethrow_exception(e);
      } catch (const std::exception &error) {
        failures.push_back(error.what());
      } catch (...) {
        failures.push_back("something else");
      }
    });
    EXPECT_NE(thread.id(), std::this_thread::get_id());
    EXPECT_FALSE(thread.isCurrent());
    for (int i = 0; i < 50; ++i) thread.post([&order, i] { order.push_back(i); });
    thread.post([] { throw std::runtime_error("a posted task failed"); });
    thread.post([] { throw 7; });
    EXPECT_EQ(thread.call([&] { return std::this_thread::get_id(); }), thread.id());
    EXPECT_THROW(thread.call([]() -> int { throw std::invalid_argument("called"); }), std::invalid_argument);
    // A call from the thread itself runs at once instead of waiting for itself.
    EXPECT_EQ(thread.call([&] { return thread.call([&] { return thread.isCurrent(); }); }), true);
    for (int i = 50; i < 100; ++i) thread.post([&order, i] { order.push_back(i); });
  }  // the destructor runs what is queued
  ASSERT_EQ(order.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
  EXPECT_EQ(failures, (std::vector<std::string>{"a posted task failed", "something else"}));
}

}  // namespace
