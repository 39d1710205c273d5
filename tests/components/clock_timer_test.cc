#include "components/clock_timer.h"

#include <gtest/gtest.h>

#include "platform/manual_clock.h"

namespace qvfax {
namespace {

TEST(ClockTimer, FiresEveryIntervalWhileEnabled) {
  auto clock = std::make_shared<ManualClock>();
  ClockTimer timer(clock);
  std::vector<int64_t> at;
  timer.OnTimerEvent([&] { at.push_back(clock->Now().count()); });
  timer.Interval(250);
  timer.Enabled(true);
  clock->Advance(1000);
  EXPECT_EQ(at, (std::vector<int64_t>{250, 500, 750, 1000}));
}

TEST(ClockTimer, IsCreatedDisabled) {
  auto clock = std::make_shared<ManualClock>();
  ClockTimer timer(clock);
  int fired = 0;
  timer.OnTimerEvent([&] { ++fired; });
  timer.Interval(50);
  clock->Advance(1000);
  EXPECT_EQ(fired, 0);
}

TEST(ClockTimer, AHandlerThatDisablesItsTimerRunsOnce) {
  auto clock = std::make_shared<ManualClock>();
  ClockTimer timer(clock);
  int fired = 0;
  timer.OnTimerEvent([&] {
    timer.Enabled(false);
    ++fired;
  });
  timer.Interval(50);
  timer.Enabled(true);
  clock->Advance(1000);
  EXPECT_EQ(fired, 1);
}

TEST(ClockTimer, EnablingAnEnabledTimerDoesNotRestartIt) {
  auto clock = std::make_shared<ManualClock>();
  ClockTimer timer(clock);
  std::vector<int64_t> at;
  timer.OnTimerEvent([&] {
    timer.Enabled(false);
    at.push_back(clock->Now().count());
  });
  timer.Interval(50);
  timer.Enabled(true);
  clock->Advance(30);
  timer.Enabled(true);
  clock->Advance(100);
  EXPECT_EQ(at, (std::vector<int64_t>{50}));
}

TEST(ClockTimer, ANewIntervalSetByTheHandlerGovernsTheNextTick) {
  auto clock = std::make_shared<ManualClock>();
  ClockTimer timer(clock);
  std::vector<int64_t> at;
  timer.OnTimerEvent([&] {
    at.push_back(clock->Now().count());
    timer.Interval(15000);
  });
  timer.Interval(250);
  timer.Enabled(true);
  clock->Advance(30000);
  EXPECT_EQ(at, (std::vector<int64_t>{250, 15250}));
}

TEST(ClockTimer, ADestroyedTimerNeverFires) {
  auto clock = std::make_shared<ManualClock>();
  int fired = 0;
  {
    ClockTimer timer(clock);
    timer.OnTimerEvent([&] { ++fired; });
    timer.Interval(10);
    timer.Enabled(true);
  }
  clock->Advance(100);
  EXPECT_EQ(fired, 0);
}

}  // namespace
}  // namespace qvfax
