// The notify command on its leash, with real child processes: its output
// reaches the journal, one past its time limit is ended with what it started,
// no more than the limit run at once, and the daemon's stop ends them all.
// Every wait is for the event, with a generous bound.
#include "daemon/notify_runner.h"

#include <poll.h>
#include <signal.h>

#include <fstream>
#include <mutex>

#include <gtest/gtest.h>

#include "tiff_maker.h"

namespace qvfax::daemon {
namespace {

class Journal {
 public:
  std::function<void(const std::string&)> Sink() {
    return [this](const std::string& line) {
      std::lock_guard lock(mutex_);
      text_ += line + "\n";
    };
  }
  std::string Text() const {
    std::lock_guard lock(mutex_);
    return text_;
  }

 private:
  mutable std::mutex mutex_;
  std::string text_;
};

// Waits up to 30 s for `done`.
bool Eventually(const std::function<bool()>& done) {
  for (int i = 0; i < 600 && !done(); ++i) ::poll(nullptr, 0, 50);
  return done();
}

// A process that has ended, though perhaps not yet reaped by whoever inherited it, is not alive.
bool Alive(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string skip, state;
  return stat >> skip >> skip >> state && state != "Z";
}

pid_t PidIn(const std::string& file) {
  std::ifstream in(file);
  pid_t pid = 0;
  in >> pid;
  return pid;
}

TEST(NotifyRunner, ItsOutputReachesTheJournalWithTheJob) {
  Journal journal;
  {
    NotifyRunner runner("/bin/sh", {}, journal.Sink());
    runner.Run({"-c", "echo job ended: \"$0\"", "17"});
    ASSERT_TRUE(Eventually([&] { return runner.Running() == 0; }));
  }
  // The job is the first argument the command gets ("-c" here).
  EXPECT_NE(journal.Text().find("qvfaxd: notify job -c: job ended: 17"), std::string::npos) << journal.Text();
}

TEST(NotifyRunner, OnePastItsTimeIsEndedWithWhatItStarted) {
  Journal journal;
  const std::string child = testing::ScratchPath("notify-child.pid");
  std::remove(child.c_str());
  NotifyLimits limits;
  limits.timeout = std::chrono::milliseconds(300);
  NotifyRunner runner("/bin/sh", limits, journal.Sink());
  // It starts a child of its own that would outlive it, then waits forever.
  runner.Run({"-c", "sleep 1000 & echo $! > " + child + "; wait"});
  ASSERT_TRUE(Eventually([&] { return PidIn(child) > 0; }));
  const pid_t grandchild = PidIn(child);
  ASSERT_TRUE(Eventually([&] { return runner.Running() == 0; }));
  EXPECT_TRUE(Eventually([&] { return !Alive(grandchild); })) << "what it started is ended with it";
  EXPECT_NE(journal.Text().find("ran past 0.3 s and was ended"), std::string::npos) << journal.Text();
}

TEST(NotifyRunner, NoMoreThanTheLimitRunAndTheStopEndsThemAll) {
  Journal journal;
  NotifyLimits limits;
  limits.at_once = 2;
  auto runner = std::make_unique<NotifyRunner>("/bin/sleep", limits, journal.Sink());
  for (int i = 0; i < 6; ++i) runner->Run({"1000"});
  EXPECT_EQ(runner->Running(), 2u);
  EXPECT_EQ(runner->Waiting(), 4u);
  runner.reset();  // as qvfaxd stops
  EXPECT_NE(journal.Text().find("4 notify commands not run: qvfaxd is stopping"), std::string::npos)
      << journal.Text();
}

}  // namespace
}  // namespace qvfax::daemon
