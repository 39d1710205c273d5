// The queue's store in PostgreSQL, as several hosts share it: each host a
// store of its own on its own connection. A job is claimed by one host only,
// a lapsed lease passes the job to another, and the late writes of the host
// that lost it are refused.
#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "pg_cluster.h"
#include "queue/job_store.h"
#include "store_contract.h"

namespace qvfax::queue {
namespace {

using qvfax::testing::PgCluster;
using qvfax::testing::QueuedJob;
using ::testing::HasSubstr;

class PostgresStore : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(PgCluster::Start()); }
  static void TearDownTestSuite() { EXPECT_TRUE(PgCluster::Stop()); }
  void SetUp() override { PgCluster::Empty(); }

  static std::unique_ptr<SharedJobStore> Host() { return OpenPostgresStore(PgCluster::Url()); }

  static Job Due(const std::string& number, int64_t next_try_ms) {
    Job job = QueuedJob(number);
    job.next_try_ms = next_try_ms;
    return job;
  }

  static Attempt AttemptOf(const Claimed& c, Exit outcome) {
    Attempt a;
    a.job = c.job.id;
    a.number = c.job.attempts + 1;
    a.outcome = outcome;
    return a;
  }
};

TEST_F(PostgresStore, JobsAttemptsAndReceivedFaxesOutliveTheStore) {
  qvfax::testing::ExpectJobsOutliveTheStore([] { return Host(); });
}

// Three hosts claim at once from threads of their own: every due job goes to
// exactly one of them, the jobs not yet due to none.
TEST_F(PostgresStore, HostsClaimingAtOnceEachGetDifferentJobsAndOnlyDueOnes) {
  auto submitter = Host();
  constexpr int kDue = 150;
  for (int i = 0; i < kDue; ++i) submitter->Add(Due("06" + std::to_string(i), 1000 + i));
  const int64_t later = submitter->Add(Due("0699", 50'000));
  std::mutex mutex;
  std::map<int64_t, int> claims;
  std::map<std::string, int> by_host;
  std::vector<std::thread> hosts;
  for (const std::string name : {"host-a", "host-b", "host-c"}) {
    hosts.emplace_back([&, name] {
      auto store = Host();
      // Bounded: no host can take more than there is.
      for (int i = 0; i <= kDue + 1; ++i) {
        const auto c = store->Claim(name, 10'000, 60'000);
        if (!c) break;
        std::lock_guard lock(mutex);
        ++claims[c->job.id];
        ++by_host[name];
        EXPECT_EQ(c->job.state, JobState::kRunning);
        EXPECT_TRUE(c->lapsed_host.empty());
      }
    });
  }
  for (auto& h : hosts) h.join();
  EXPECT_EQ(claims.size(), static_cast<size_t>(kDue));
  for (const auto& [id, times] : claims) EXPECT_EQ(times, 1) << "job " << id << " claimed twice";
  EXPECT_EQ(claims.count(later), 0u) << "a job not due yet was claimed";
  EXPECT_EQ(by_host.size(), 3u) << "one host took every job";
  EXPECT_EQ(submitter->Find(later)->state, JobState::kQueued);
}

TEST_F(PostgresStore, TheJobDueFirstIsClaimedFirstAndJobsAreListedByIdAPageAtATime) {
  auto store = Host();
  const int64_t second = store->Add(Due("0602", 2000));
  const int64_t first = store->Add(Due("0601", 1000));
  const auto page = store->Unfinished(0, 1);
  ASSERT_EQ(page.size(), 1u);
  EXPECT_EQ(page[0].id, second);
  const auto rest = store->Unfinished(second, 10);
  ASSERT_EQ(rest.size(), 1u);
  EXPECT_EQ(rest[0].id, first);
  EXPECT_EQ(store->Claim("a", 5000, 1000)->job.id, first);
  EXPECT_EQ(store->Claim("a", 5000, 1000)->job.id, second);
  EXPECT_FALSE(store->Claim("a", 5000, 1000));
}

// A host paused past its lease (SIGSTOP, a partition): another host takes the
// job up and finishes it; the first one's renewal and result are refused and
// change nothing, so the fax is counted once.
TEST_F(PostgresStore, AHostWhoseLeaseLapsedLosesTheJobAndItsLateWritesAreRefused) {
  auto a = Host(), b = Host();
  const int64_t id = a->Add(Due("0601", 0));
  auto held = a->Claim("host-a", 1000, 30'000);
  ASSERT_TRUE(held);
  EXPECT_FALSE(b->Claim("host-b", 20'000, 30'000)) << "a job was taken while its lease held";
  EXPECT_FALSE(a->Renew(held->lease, 20'000, 30'000)) << "nobody asked for the job's removal";
  EXPECT_FALSE(b->Claim("host-b", 40'000, 30'000)) << "a renewed lease was not honoured";

  auto taken = b->Claim("host-b", 60'000, 30'000);
  ASSERT_TRUE(taken);
  EXPECT_EQ(taken->job.id, id);
  EXPECT_EQ(taken->lapsed_host, "host-a");
  EXPECT_GT(taken->lease.number, held->lease.number);

  Job late = held->job;
  late.state = JobState::kDone;
  late.attempts = 1;
  late.pages_sent = 3;
  EXPECT_THROW(a->Renew(held->lease, 61'000, 30'000), LeaseLost);
  EXPECT_THROW(a->Record(late, AttemptOf(*held, Exit::kDelivered), held->lease), LeaseLost);
  EXPECT_THROW(a->Save(late, held->lease), LeaseLost);
  EXPECT_TRUE(b->Attempts(id).empty()) << "a refused result left an attempt behind";
  EXPECT_EQ(b->Find(id)->state, JobState::kRunning);

  Job finished = taken->job;
  finished.state = JobState::kDone;
  finished.attempts = 2;
  finished.pages_sent = 3;
  b->Record(finished, AttemptOf(*taken, Exit::kDelivered), taken->lease);
  EXPECT_EQ(a->Find(id)->state, JobState::kDone);
  EXPECT_EQ(a->Attempts(id).size(), 1u);
}

TEST_F(PostgresStore, AQueuedJobIsCancelledAtOnceAndARunningOneByItsHost) {
  auto a = Host(), b = Host();
  Job cancelled = a->Find(a->Add(Due("0601", 0))).value();
  cancelled.state = JobState::kCancelled;
  EXPECT_TRUE(b->SaveIfQueued(cancelled));
  EXPECT_FALSE(a->Claim("a", 1000, 1000));

  Job running = a->Find(a->Add(Due("0602", 0))).value();
  auto held = a->Claim("a", 1000, 1000);
  ASSERT_TRUE(held);
  running.state = JobState::kCancelled;
  EXPECT_FALSE(b->SaveIfQueued(running));
  EXPECT_EQ(b->Find(running.id)->state, JobState::kRunning);
  // The host running it hears of the removal when it next renews its lease.
  EXPECT_TRUE(b->AskRemoval(running.id));
  EXPECT_TRUE(a->Renew(held->lease, 1500, 1000));
  EXPECT_FALSE(b->AskRemoval(cancelled.id)) << "a job that is not running was asked to stop";
}

TEST_F(PostgresStore, OneRequestSubmittedThroughTwoHostsIsOneJob) {
  auto a = Host(), b = Host();
  Job job = QueuedJob("0601");
  job.request.client_request = "invoice-42";
  const int64_t id = a->Add(job);
  EXPECT_EQ(b->Add(job), id);
  EXPECT_EQ(b->FindRequest("invoice-42")->id, id);
  EXPECT_EQ(a->Unfinished().size(), 1u);
}

TEST_F(PostgresStore, HostsStartingTogetherMakeTheTablesOnceAndANewerLayoutIsRefused) {
  std::vector<std::thread> hosts;
  std::atomic<int> opened{0};
  for (int i = 0; i < 4; ++i) {
    hosts.emplace_back([&] {
      try {
        Host();
        ++opened;
      } catch (const StoreError& e) {
        ADD_FAILURE() << e.what();
      }
    });
  }
  for (auto& h : hosts) h.join();
  EXPECT_EQ(opened, 4);
  EXPECT_EQ(PgCluster::Query("SELECT count(*) FROM qvfax_schema"), "1");

  PgCluster::Query("UPDATE qvfax_schema SET version = 99");
  try {
    Host();
    ADD_FAILURE() << "a database of a newer layout was used";
  } catch (const StoreError& e) {
    EXPECT_THAT(e.what(), HasSubstr("version 99, made by a newer qvfaxd"));
  }
}

TEST_F(PostgresStore, ADatabaseThatIsNotThereIsNamedWithoutItsPassword) {
  try {
    OpenPostgresStore("postgresql://fax:secret@%2Fnonexistent-folder:5432/qvfax");
    ADD_FAILURE() << "opened a database that is not there";
  } catch (const StoreError& e) {
    EXPECT_THAT(e.what(), HasSubstr("cannot reach the job database postgresql://fax:***@"));
    EXPECT_THAT(e.what(), ::testing::Not(HasSubstr("secret")));
  }
}

// The server restarted between two changes: the store connects again and
// nothing written before is lost.
TEST_F(PostgresStore, AStoreCarriesOnAfterTheServerRestarts) {
  auto store = Host();
  const int64_t id = store->Add(QueuedJob("0601"));
  ASSERT_TRUE(PgCluster::Restart());
  ASSERT_TRUE(store->Find(id));
  EXPECT_EQ(store->Find(id)->request.number, "0601");
  EXPECT_NE(store->Add(QueuedJob("0602")), id);
}

}  // namespace
}  // namespace qvfax::queue
