// The production clock's waits on a descriptor: woken by the descriptor when
// it is ready, by the delay when it is not, never after a cancel, and the
// descriptor is only borrowed. Driven by the event loop, never by sleeping.
#include "platform/steady_clock.h"

#include <fcntl.h>
#include <unistd.h>

#include <asio/io_context.hpp>
#include <gtest/gtest.h>

namespace qvfax {
namespace {

class SteadyClockWaits : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(::pipe2(ends, O_NONBLOCK | O_CLOEXEC), 0); }
  void TearDown() override {
    ::close(ends[0]);
    ::close(ends[1]);
  }
  // Runs the loop until `ran` or a generous bound of handlers.
  void RunUntil(const bool& ran) {
    for (int i = 0; i < 1000 && !ran; ++i) loop.run_one_for(std::chrono::seconds(30));
  }

  asio::io_context loop;
  SteadyClock clock{loop};
  int ends[2] = {-1, -1};
};

TEST_F(SteadyClockWaits, ADescriptorThatBecomesReadableWakesLongBeforeTheDelay) {
  bool ran = false;
  clock.ScheduleOrReady(ends[0], false, std::chrono::hours(1), [&] { ran = true; });
  ASSERT_EQ(::write(ends[1], "x", 1), 1);
  RunUntil(ran);
  EXPECT_TRUE(ran);
  char c = 0;
  EXPECT_EQ(::read(ends[0], &c, 1), 1) << "the descriptor stays open: it was only borrowed";
}

TEST_F(SteadyClockWaits, TheDelayWakesWhenNothingComesAndEachWaitRunsOnce) {
  int runs = 0;
  bool ran = false;
  clock.ScheduleOrReady(ends[0], false, std::chrono::milliseconds(1), [&] {
    ++runs;
    ran = true;
  });
  RunUntil(ran);
  ASSERT_TRUE(ran);
  // Readable now as well: the wait that already ran does not run again.
  ASSERT_EQ(::write(ends[1], "x", 1), 1);
  bool second = false;
  clock.ScheduleOrReady(ends[1], true, std::chrono::hours(1), [&] { second = true; });
  RunUntil(second);
  EXPECT_TRUE(second) << "a pipe with room is writable at once";
  EXPECT_EQ(runs, 1);
}

TEST_F(SteadyClockWaits, ACancelledWaitNeverRuns) {
  bool ran = false, later = false;
  const auto id = clock.ScheduleOrReady(ends[0], false, std::chrono::milliseconds(1), [&] { ran = true; });
  clock.Cancel(id);
  ASSERT_EQ(::write(ends[1], "x", 1), 1);
  clock.Schedule(std::chrono::milliseconds(5), [&] { later = true; });
  RunUntil(later);
  EXPECT_TRUE(later);
  EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace qvfax
