// The queue on the sim engine with the manual clock: retries by cause,
// attempts recorded, ports shared, jobs cancelled and taken up after a stop.
#include <map>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "queue/job_json.h"
#include "queue_rig.h"

namespace qvfax::testing {
namespace {

using queue::Exit;
using queue::JobState;

sim::Config Answering(const std::string& number, sim::Answer answer, int busy_first = 0) {
  sim::Config config;
  sim::Remote remote;
  remote.answer = answer;
  remote.busy_first = busy_first;
  config.remotes[number] = remote;
  return config;
}

int Count(const std::vector<nlohmann::json>& events, int64_t job, const std::string& event) {
  int n = 0;
  for (const auto& e : events) n += e.value("job", int64_t{0}) == job && e.value("event", "") == event;
  return n;
}

TEST(JobQueue, ABusyNumberThatAnswersTheSecondTimeIsDeliveredAfterTheRetryDelay) {
  QueueRig rig(1, Answering("0611", sim::Answer::kFax, 1));
  const int64_t id = rig.queue().Submit(rig.Request("0611", 2));
  const auto job = rig.RunUntilEnded(id);
  EXPECT_EQ(job.state, JobState::kDone);
  EXPECT_EQ(job.outcome, Exit::kDelivered);
  EXPECT_EQ(job.pages_sent, 2);
  const auto attempts = rig.queue().Attempts(id);
  ASSERT_EQ(attempts.size(), 2u);
  EXPECT_EQ(attempts[0].outcome, Exit::kBusy);
  EXPECT_EQ(attempts[0].trm_status, 6);
  EXPECT_THAT(attempts[0].log, ::testing::HasSubstr("Invio Nuovo Fax"));
  EXPECT_EQ(attempts[1].outcome, Exit::kDelivered);
  EXPECT_GE(attempts[1].started_ms - attempts[0].ended_ms, 180'000);
  EXPECT_LT(attempts[1].started_ms - attempts[0].ended_ms, 181'000);
  EXPECT_EQ(Count(rig.events, id, "ended"), 1);
  EXPECT_EQ(Count(rig.events, id, "retry"), 1);
}

// Each cause ends as its rule says, after as many attempts as it allows.
TEST(JobQueue, EachCauseEndsAfterTheAttemptsItsRuleAllows) {
  struct Row {
    sim::Answer answer;
    int max_attempts;
    JobState state;
    Exit outcome;
    int attempts;
    int64_t gap_ms;        // between attempts
    bool damaged = false;  // its prepared pages replaced once queued
    int64_t kill_after_ms = 0;
  } rows[] = {
      {sim::Answer::kNoAnswer, 3, JobState::kFailed, Exit::kNoAnswer, 3, 300'000},
      {sim::Answer::kBusy, 2, JobState::kFailed, Exit::kBusy, 2, 180'000},
      {sim::Answer::kNoCarrier, 3, JobState::kFailed, Exit::kNoAnswer, 3, 300'000},
      {sim::Answer::kFax, 3, JobState::kDone, Exit::kDelivered, 1, 0},
      {sim::Answer::kFax, 3, JobState::kFailed, Exit::kBadDocument, 1, 0, true},
      // The third try would start past the kill time.
      {sim::Answer::kBusy, 3, JobState::kFailed, Exit::kBusy, 2, 180'000, false, 240'000},
  };
  for (const auto& row : rows) {
    QueueRig rig(1, Answering("0622", row.answer));
    auto request = rig.Request("0622");
    request.max_attempts = row.max_attempts;
    if (row.kill_after_ms) request.kill_ms = rig.now_ms + row.kill_after_ms;
    const int64_t id = rig.queue().Submit(request);
    if (row.damaged) {
      std::FILE* f = std::fopen(request.files.at(0).c_str(), "w");
      std::fputs("not a TIFF any more", f);
      std::fclose(f);
    }
    const auto job = rig.RunUntilEnded(id, 4 * 3'600'000);
    EXPECT_EQ(job.state, row.state) << queue::ToJson(job);
    EXPECT_EQ(job.outcome, row.outcome);
    const auto attempts = rig.queue().Attempts(id);
    ASSERT_EQ(static_cast<int>(attempts.size()), row.attempts);
    for (size_t i = 1; i < attempts.size(); ++i) {
      EXPECT_GE(attempts[i].started_ms - attempts[i - 1].ended_ms, row.gap_ms);
      EXPECT_LT(attempts[i].started_ms - attempts[i - 1].ended_ms, row.gap_ms + 1000);
    }
    EXPECT_EQ(Count(rig.events, id, "ended"), 1);
  }
}

TEST(JobQueue, WhatTheSenderMustMendIsRefusedWithNoAttempt) {
  QueueRig rig;
  const std::string not_a_fax = rig.folder + "/letter.txt";
  std::FILE* f = std::fopen(not_a_fax.c_str(), "w");
  std::fputs("Dear Sir", f);
  std::fclose(f);
  struct Row {
    std::string number, file;
    int64_t not_before_ms;
    const char* reason;
  } rows[] = {
      {"0633", not_a_fax, 0, "not a fax document"},
      {"0633", rig.folder + "/missing.tif", 0, "not a fax document"},
      {"  ", rig.Document(), 0, "number is empty"},
      {"06;rm", rig.Document(), 0, "cannot be dialled"},
      {"0633", rig.Document(), rig.now_ms - 1, "has passed"},
  };
  for (const auto& row : rows) {
    queue::JobRequest request;
    request.number = row.number;
    request.files = {row.file};
    request.not_before_ms = row.not_before_ms;
    try {
      rig.queue().Submit(request);
      ADD_FAILURE() << "accepted " << row.number << " " << row.file;
    } catch (const queue::Refused& e) {
      EXPECT_THAT(e.what(), ::testing::HasSubstr(row.reason));
    }
  }
  rig.Run(60'000);
  EXPECT_TRUE(rig.queue().Jobs().empty());
  EXPECT_TRUE(rig.queue().History(10).empty());
  EXPECT_TRUE(rig.events.empty());
}

TEST(JobQueue, AHundredJobsOnTwoPortsAreEachDeliveredExactlyOnce) {
  QueueRig rig(2);
  std::vector<int64_t> ids;
  for (int i = 0; i < 100; ++i) ids.push_back(rig.queue().Submit(rig.Request("0640" + std::to_string(i))));
  rig.Run(60 * 60'000);
  std::map<std::string, int> ports;
  for (const int64_t id : ids) {
    const auto job = rig.queue().Find(id);
    ASSERT_TRUE(job);
    EXPECT_EQ(job->state, JobState::kDone) << queue::ToJson(*job);
    EXPECT_EQ(job->attempts, 1);
    EXPECT_EQ(Count(rig.events, id, "ended"), 1);
    EXPECT_EQ(Count(rig.events, id, "started"), 1);
    ++ports[job->port];
  }
  for (int i = 0; i < 100; ++i) EXPECT_EQ((*rig.config.calls)["0640" + std::to_string(i)], 1);
  EXPECT_EQ(ports.size(), 2u);  // both ports took their share
  EXPECT_GT(ports["ttyS0"], 30);
  EXPECT_GT(ports["ttyS1"], 30);
}

TEST(JobQueue, JobsWaitForTheirTimeAndThenGoInOrderOfIt) {
  QueueRig rig;
  auto later = rig.Request("0651");
  later.not_before_ms = rig.now_ms + 20 * 60'000;
  auto sooner = rig.Request("0652");
  sooner.not_before_ms = rig.now_ms + 10 * 60'000;
  const int64_t first_submitted = rig.queue().Submit(later);
  const int64_t second_submitted = rig.queue().Submit(sooner);
  const int64_t start = rig.now_ms;
  rig.RunUntilEnded(first_submitted, 2 * 3'600'000);
  const auto a = rig.queue().Attempts(first_submitted), b = rig.queue().Attempts(second_submitted);
  ASSERT_EQ(a.size(), 1u);
  ASSERT_EQ(b.size(), 1u);
  EXPECT_GE(b[0].started_ms - start, 10 * 60'000);
  EXPECT_LT(b[0].started_ms - start, 10 * 60'000 + 1000);
  EXPECT_GE(a[0].started_ms - start, 20 * 60'000);
}

TEST(JobQueue, RemovingAJobCancelsItWhereverItIs) {
  QueueRig rig;
  const int64_t running = rig.queue().Submit(rig.Request("0661", 5));
  const int64_t queued = rig.queue().Submit(rig.Request("0662"));
  // Into the call: detection, opening, dialling and training are over by then.
  rig.Run(30'000);
  ASSERT_EQ(rig.queue().Find(running)->state, JobState::kRunning);
  rig.queue().Remove(queued);
  EXPECT_EQ(rig.queue().Find(queued)->state, JobState::kCancelled);
  EXPECT_TRUE(rig.queue().Attempts(queued).empty());
  rig.queue().Remove(running);
  const auto job = rig.RunUntilEnded(running);
  EXPECT_EQ(job.state, JobState::kCancelled);
  const auto attempts = rig.queue().Attempts(running);
  ASSERT_EQ(attempts.size(), 1u);
  EXPECT_EQ(attempts[0].outcome, Exit::kCancelled);
  EXPECT_EQ(attempts[0].trm_status, 4);  // aborted on the line
  EXPECT_LT(attempts[0].pages_sent, 5);
  EXPECT_THROW(rig.queue().Remove(running), queue::Refused);
  EXPECT_THROW(rig.queue().Remove(999), queue::Refused);
}

TEST(JobQueue, AJobRunningWhenTheQueueStoppedIsTakenUpWithThatAttemptCounted) {
  QueueRig rig(1, Answering("0671", sim::Answer::kFax));
  const int64_t id = rig.queue().Submit(rig.Request("0671", 3));
  rig.Run(20'000);
  ASSERT_EQ(rig.queue().Find(id)->state, JobState::kRunning);
  rig.Stop();  // as if killed: the store still says running
  rig.Start();
  const auto job = rig.RunUntilEnded(id);
  EXPECT_EQ(job.state, JobState::kDone);
  EXPECT_EQ(job.attempts, 2);
  const auto attempts = rig.queue().Attempts(id);
  ASSERT_EQ(attempts.size(), 2u);
  EXPECT_EQ(attempts[0].outcome, Exit::kLineFailure);
  EXPECT_EQ(attempts[0].error_text, "qvfaxd stopped during this attempt");
  EXPECT_EQ(attempts[1].outcome, Exit::kDelivered);
  EXPECT_EQ(Count(rig.events, id, "ended"), 1);
}

TEST(JobQueue, AJobWithNoAttemptLeftWhenTheQueueStoppedEndsFailedNotDelivered) {
  QueueRig rig;
  auto request = rig.Request("0672", 3);
  request.max_attempts = 1;
  const int64_t id = rig.queue().Submit(request);
  rig.Run(20'000);
  ASSERT_EQ(rig.queue().Find(id)->state, JobState::kRunning);
  rig.Stop();
  rig.Start();
  const auto job = rig.queue().Find(id);
  EXPECT_EQ(job->state, JobState::kFailed);
  EXPECT_EQ(job->outcome, Exit::kLineFailure);
  EXPECT_EQ(Count(rig.events, id, "ended"), 1);
  rig.Run(120'000);
  EXPECT_EQ(rig.queue().Attempts(id).size(), 1u);
  EXPECT_EQ((*rig.config.calls)["0672"], 1);
}

TEST(JobQueue, WaitersHearOfTheEndOnce) {
  QueueRig rig;
  const int64_t id = rig.queue().Submit(rig.Request("0681"));
  std::vector<std::string> heard;
  rig.queue().WhenEnded(id, [&](const queue::Job& job) { heard.push_back(queue::StateName(job.state)); });
  rig.RunUntilEnded(id);
  rig.queue().WhenEnded(id, [&](const queue::Job& job) { heard.push_back(queue::StateName(job.state)); });
  EXPECT_EQ(heard, (std::vector<std::string>{"done", "done"}));
  EXPECT_THROW(rig.queue().WhenEnded(12345, [](const queue::Job&) {}), queue::Refused);
}

}  // namespace
}  // namespace qvfax::testing
