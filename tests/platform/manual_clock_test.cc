#include "platform/manual_clock.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace qvfax {
namespace {

using std::chrono::milliseconds;

TEST(ManualClock, FiresDueTimersInDeadlineOrder) {
  ManualClock clock;
  std::vector<std::string> fired;
  clock.Schedule(milliseconds(300), [&] { fired.push_back("300@" + std::to_string(clock.Now().count())); });
  clock.Schedule(milliseconds(100), [&] { fired.push_back("100@" + std::to_string(clock.Now().count())); });
  clock.Schedule(milliseconds(200), [&] { fired.push_back("200@" + std::to_string(clock.Now().count())); });
  clock.Advance(250);
  EXPECT_EQ(fired, (std::vector<std::string>{"100@100", "200@200"}));
  EXPECT_EQ(clock.Now(), milliseconds(250));
  clock.Advance(50);
  EXPECT_EQ(fired.back(), "300@300");
}

TEST(ManualClock, FiresEqualDeadlinesInSchedulingOrder) {
  ManualClock clock;
  std::string order;
  clock.Schedule(milliseconds(50), [&] { order += "a"; });
  clock.Schedule(milliseconds(50), [&] { order += "b"; });
  clock.Schedule(milliseconds(50), [&] { order += "c"; });
  clock.Advance(50);
  EXPECT_EQ(order, "abc");
}

TEST(ManualClock, RunsTimersScheduledByTimersWithinTheSameAdvance) {
  ManualClock clock;
  std::vector<int64_t> at;
  clock.Schedule(milliseconds(100), [&] {
    at.push_back(clock.Now().count());
    clock.Schedule(milliseconds(100), [&] { at.push_back(clock.Now().count()); });
  });
  clock.Advance(1000);
  EXPECT_EQ(at, (std::vector<int64_t>{100, 200}));
}

TEST(ManualClock, CancelledTimersNeverRun) {
  ManualClock clock;
  int runs = 0;
  auto id = clock.Schedule(milliseconds(10), [&] { ++runs; });
  clock.Cancel(id);
  clock.Cancel(id);
  clock.Advance(100);
  EXPECT_EQ(runs, 0);
  EXPECT_EQ(clock.PendingTimers(), 0u);
}

TEST(ManualClock, WallTimeMovesWithTheClock) {
  ManualClock clock(OleDate::FromLocal(2026, 12, 5, 9, 30, 0));
  clock.Advance(90'000);
  EXPECT_EQ(clock.LocalNow().LogText(), "05/12/2026 09.31.30");
}

}  // namespace
}  // namespace qvfax
