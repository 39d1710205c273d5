// The SQLite job store: what survives reopening, and the files it must
// refuse without ever emptying them.
#include <stdlib.h>
#include <sys/mount.h>

#include <filesystem>
#include <fstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "queue/job_store.h"
#include "store_contract.h"

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

  static Job Queued(const std::string& number) { return qvfax::testing::QueuedJob(number); }

  std::string folder_, path_;
};

TEST_F(JobStoreTest, JobsAttemptsAndReceivedFaxesOutliveTheStore) {
  qvfax::testing::ExpectJobsOutliveTheStore([this] { return OpenSqliteStore(path_); });
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
