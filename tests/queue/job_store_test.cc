// The SQLite job store: what survives reopening, and the files it must
// refuse without ever emptying them.
#include <stdlib.h>
#include <sys/mount.h>

#include <filesystem>
#include <fstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "queue/job_store.h"

namespace qvfax::queue {
namespace {

class JobStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = (std::filesystem::temp_directory_path() / "qvfax-store-XXXXXX").string();
    ASSERT_TRUE(mkdtemp(folder_.data()));
    path_ = folder_ + "/jobs.sqlite";
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  static Job Queued(const std::string& number) {
    Job job;
    job.request.number = number;
    job.request.files = {"/spool/a.tif", "/spool/b.tif"};
    job.request.header = "ACME \"quoted\"";
    job.submitted_ms = 1000;
    return job;
  }

  std::string folder_, path_;
};

TEST_F(JobStoreTest, JobsAttemptsAndReceivedFaxesOutliveTheStore) {
  int64_t done_id = 0, queued_id = 0, partial_id = 0;
  {
    auto store = OpenSqliteStore(path_);
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
    Job done = Queued("0601");
    done_id = done.id = store->Add(done);
    queued_id = store->Add(Queued("0602"));
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
  auto store = OpenSqliteStore(path_);
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

TEST_F(JobStoreTest, FilesThatAreNotAUsableStoreAreRefusedAndLeftAsTheyWere) {
  struct Row {
    const char* what;
    std::string content;
  } rows[] = {
      {"text", "these are my notes, not a queue\n"},
      {"damaged", std::string("SQLite format 3\0", 16) + std::string(4080, '\x7f')},
  };
  for (const auto& row : rows) {
    { std::ofstream(path_, std::ios::binary) << row.content; }
    EXPECT_THROW(OpenSqliteStore(path_), StoreError) << row.what;
    std::ifstream in(path_, std::ios::binary);
    const std::string after((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(after, row.content) << row.what;
  }
}

// SQLite says "disk I/O error"; the user is told what to mend.
TEST_F(JobStoreTest, AStoreOnAReadOnlyDiskSaysSo) {
  if (::mount("tmpfs", folder_.c_str(), "tmpfs", 0, "size=1m") != 0) GTEST_SKIP() << "mounting a disk needs root";
  OpenSqliteStore(path_)->Add(Queued("0601"));
  ASSERT_EQ(::mount(nullptr, folder_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
  try {
    OpenSqliteStore(path_);
    ADD_FAILURE() << "a store on a read-only disk was opened";
  } catch (const StoreError& e) {
    EXPECT_THAT(e.what(), ::testing::HasSubstr("the disk is read-only"));
  }
  ::umount2(folder_.c_str(), MNT_DETACH);
}

TEST_F(JobStoreTest, ASecondOpenerIsRefusedWhileTheFirstHoldsTheQueue) {
  auto first = OpenSqliteStore(path_);
  const int64_t id = first->Add(Queued("0603"));
  try {
    OpenSqliteStore(path_);
    ADD_FAILURE() << "opened twice";
  } catch (const StoreError& e) {
    EXPECT_THAT(e.what(), ::testing::HasSubstr("another process holds it"));
  }
  EXPECT_TRUE(first->Find(id));
}

TEST(RetryRules, EachOutcomeIsTriedAgainAfterItsDelayOrNever) {
  const std::pair<Exit, int> rows[] = {
      {Exit::kDelivered, -1},  {Exit::kBusy, 180},        {Exit::kNoAnswer, 300},  {Exit::kLineFailure, 120},
      {Exit::kModemFailure, 120}, {Exit::kBadDocument, -1}, {Exit::kCancelled, -1}, {Exit::kUsage, -1},
      {Exit::kLocalFailure, 600},
  };
  for (const auto& [outcome, seconds] : rows) {
    const auto delay = RetryDelay(outcome);
    EXPECT_EQ(delay ? static_cast<int>(delay->count()) : -1, seconds) << OutcomeName(outcome);
  }
  EXPECT_EQ(OutcomeOf(0, 6), Exit::kBusy);
  EXPECT_EQ(OutcomeOf(-158, 0), Exit::kUsage);  // no number: the sender must mend it
  EXPECT_EQ(OutcomeOf(-7, 6), ExitForError(-7));  // the error wins over the status
}

}  // namespace
}  // namespace qvfax::queue
