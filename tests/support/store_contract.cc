#include "store_contract.h"

#include <gtest/gtest.h>

namespace qvfax::testing {

using namespace queue;

Job QueuedJob(const std::string& number) {
  Job job;
  job.request.number = number;
  job.request.files = {"/spool/a.tif", "/spool/b.tif"};
  job.request.header = "ACME \"quoted\"";
  job.submitted_ms = 1000;
  return job;
}

void ExpectJobsOutliveTheStore(const std::function<std::unique_ptr<JobStore>()>& open) {
  int64_t done_id = 0, queued_id = 0, partial_id = 0;
  {
    auto store = open();
    ReceivedFax partial;
    partial.received_ms = 2000;
    partial.port = "ttyS0";
    partial.caller_number = "0612345678";
    partial.remote_id = "+39 06 1234";
    partial.pages = 2;
    partial.reason = "the caller hung up in page 3";
    partial.file = "/inbox/1.tif";
    partial_id = store->AddReceived(partial);
    ReceivedFax whole = partial;
    whole.received_ms = 3000;
    whole.complete = true;
    whole.reason.clear();
    const int64_t whole_id = store->AddReceived(whole);
    EXPECT_TRUE(store->RemoveReceived(whole_id));
    EXPECT_FALSE(store->RemoveReceived(whole_id));
    Job done = QueuedJob("0601");
    done_id = done.id = store->Add(done);
    queued_id = store->Add(QueuedJob("0602"));
    EXPECT_NE(done_id, queued_id);
    done.state = JobState::kDone;
    done.attempts = 1;
    done.ended_ms = 5000;
    Attempt attempt;
    attempt.job = done_id;
    attempt.number = 1;
    attempt.trm_status = 6;
    attempt.outcome = Exit::kBusy;
    attempt.log = "line one\r\nline two\r\n";
    store->Record(done, attempt);
  }
  auto store = open();
  const auto unfinished = store->Unfinished();
  ASSERT_EQ(unfinished.size(), 1u);
  EXPECT_EQ(unfinished[0].id, queued_id);
  EXPECT_EQ(unfinished[0].request.files, (std::vector<std::string>{"/spool/a.tif", "/spool/b.tif"}));
  EXPECT_EQ(unfinished[0].request.header, "ACME \"quoted\"");
  const auto history = store->History(10);
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].state, JobState::kDone);
  const auto attempts = store->Attempts(done_id);
  ASSERT_EQ(attempts.size(), 1u);
  EXPECT_EQ(attempts[0].outcome, Exit::kBusy);
  EXPECT_EQ(attempts[0].log, "line one\r\nline two\r\n");
  const auto received = store->Received(10);
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].id, partial_id);
  EXPECT_EQ(received[0].caller_number, "0612345678");
  EXPECT_EQ(received[0].pages, 2);
  EXPECT_FALSE(received[0].complete);
  EXPECT_EQ(received[0].reason, "the caller hung up in page 3");
  ASSERT_TRUE(store->FindReceived(partial_id));
  EXPECT_EQ(store->FindReceived(partial_id)->file, "/inbox/1.tif");
  EXPECT_FALSE(store->FindReceived(partial_id + 100));
}

}  // namespace qvfax::testing
