// Three qvfaxd processes on the line engine as three hosts of one fax
// service: one queue in the test cluster's PostgreSQL, their documents in one
// shared folder, each with lines of its own (a0, b0, ...) whose remotes keep
// what they receive in the host's own inbox. Every job is delivered exactly
// once, whichever host took it and whatever happened to the others.
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <thread>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "daemon_process.h"
#include "pg_cluster.h"
#include "rpc/client.h"
#include "tiff_maker.h"

namespace qvfax::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr const char* kHosts[] = {"a", "b", "c"};

class SharedQueue : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(PgCluster::Start()); }
  static void TearDownTestSuite() { EXPECT_TRUE(PgCluster::Stop()); }

  void SetUp() override {
    PgCluster::Empty();
    shared_ = ScratchPath("shared-queue");
    fs::remove_all(shared_);
    fs::create_directories(shared_);
  }

  // Host `name` with `lines` lines, `name`0, `name`1, ..., at `speed` times
  // real time (0: flat out).
  std::unique_ptr<DaemonProcess> StartHost(const std::string& name, double speed, int lines = 2, int lease_s = 3) {
    const std::string config = ScratchPath("line-" + name + ".json");
    json doc;
    for (int i = 0; i < lines; ++i) doc["lines"].push_back({{"name", name + std::to_string(i)}});
    std::ofstream(config) << doc.dump();
    return std::make_unique<DaemonProcess>(
        speed, std::vector<std::string>{"--engine", "line", "--engine-config", config, "--queue-db", PgCluster::Url(),
                                        "--queue-folder", shared_, "--host-name", "host-" + name, "--lease",
                                        std::to_string(lease_s)});
  }

  static int64_t Submit(DaemonProcess& host, const std::string& number, const std::string& document) {
    rpc::Client client(rpc::ConnectUnixSocket(host.socket()));
    const auto answer = client.Call("submit", {{"number", number}, {"files", {document}}});
    return answer.value("job", int64_t{0});
  }

  static json Ask(DaemonProcess& host, const std::string& method, const json& params) {
    rpc::Client client(rpc::ConnectUnixSocket(host.socket()));
    return client.Call(method, params);
  }

  // What each remote number received on `host`'s lines.
  static std::map<std::string, int> Inbox(const DaemonProcess& host) {
    std::map<std::string, int> by_number;
    const fs::path inbox = fs::path(host.StateFolder()) / "qvfax" / "inbox";
    if (!fs::exists(inbox)) return by_number;
    for (const auto& entry : fs::directory_iterator(inbox)) {
      const std::string name = entry.path().stem().string();
      const auto dash = name.rfind('-');
      if (entry.path().extension() == ".tif" && dash != std::string::npos) ++by_number[name.substr(dash + 1)];
    }
    return by_number;
  }

  // Waits, a generous while, until `done` says so.
  template <typename Done>
  static bool WaitFor(Done done, std::chrono::seconds bound) {
    const auto until = std::chrono::steady_clock::now() + bound;
    while (!done()) {
      if (std::chrono::steady_clock::now() > until) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return true;
  }

  // A two-page job submitted to `host` and seen running there; 0 if it never ran.
  static int64_t RunningJob(DaemonProcess& host, const std::string& number) {
    const std::string document =
        MakeFaxTiff(ScratchPath("cluster-" + number + ".tif"), 2, PageResolution::kFine, pages::PageStyle::kLetter);
    const int64_t id = Submit(host, number, document);
    const bool running = id > 0 && WaitFor(
        [&] { return Ask(host, "jobs", json::object()).dump().find("\"running\"") != std::string::npos; },
        std::chrono::seconds(60));
    return running ? id : 0;
  }

  // The job `id` as `host` finally sees it, done; null when it never ends.
  static json FinishedJob(DaemonProcess& host, int64_t id) {
    json job;
    const bool done = WaitFor(
        [&] {
          job = Ask(host, "attempts", {{"job", id}});
          return job["job"].value("state", "") == "done";
        },
        std::chrono::seconds(120));
    EXPECT_TRUE(done) << job.dump();
    return done ? job : json();
  }

  // A job host-a held when it stopped, delivered once by `b`: two attempts,
  // the first host-a's lost one, both pages counted once.
  static void ExpectTakenOverByB(const json& job, const DaemonProcess& b, const std::string& number) {
    ASSERT_EQ(job["attempts"].size(), 2u) << job.dump();
    EXPECT_EQ(job["attempts"][0].value("error_text", ""), "host host-a stopped during this attempt");
    EXPECT_EQ(job["attempts"][1].value("port", "").substr(0, 1), "b") << job.dump();
    EXPECT_EQ(job["job"].value("state", ""), "done");
    EXPECT_EQ(job["job"].value("attempts", 0), 2);
    EXPECT_EQ(job["job"].value("pages_sent", 0), 2);
    EXPECT_EQ(Inbox(b)[number], 1);
  }

  std::string shared_;
};

// Jobs submitted through all three hosts: each delivered once, counted in the
// remotes' inboxes, and not all by one host.
TEST_F(SharedQueue, JobsSubmittedThroughEveryHostAreEachDeliveredOnceSpreadOverTheHosts) {
  std::vector<std::unique_ptr<DaemonProcess>> hosts;
  // Each fax spends a second or two in the object model's own timers: many
  // lines keep the hosts busy.
  for (const char* name : kHosts) hosts.push_back(StartHost(name, 0, 8));
  const std::string document =
      MakeFaxTiff(ScratchPath("cluster-one-page.tif"), 1, PageResolution::kStandard, pages::PageStyle::kText);
  constexpr int kJobs = 1000;
  for (int i = 0; i < kJobs; ++i) ASSERT_GT(Submit(*hosts[i % 3], fmt::format("06{:08}", i), document), 0) << i;

  json ended;
  ASSERT_TRUE(WaitFor(
      [&] {
        ended = Ask(*hosts[0], "history", {{"limit", kJobs + 10}});
        return ended.size() >= static_cast<size_t>(kJobs);
      },
      std::chrono::seconds(500)))
      << ended.size() << " of " << kJobs << " jobs ended";
  EXPECT_EQ(ended.size(), static_cast<size_t>(kJobs));
  for (const auto& job : ended) {
    ASSERT_EQ(job.value("state", ""), "done") << job.dump();
    EXPECT_EQ(job.value("attempts", 0), 1) << job.dump();
    EXPECT_EQ(job.value("pages_sent", 0), 1) << job.dump();
  }
  std::map<std::string, int> delivered;
  std::vector<int> per_host;
  for (const auto& host : hosts) {
    int here = 0;
    for (const auto& [number, count] : Inbox(*host)) {
      delivered[number] += count;
      here += count;
    }
    per_host.push_back(here);
  }
  EXPECT_EQ(delivered.size(), static_cast<size_t>(kJobs));
  for (const auto& [number, count] : delivered) EXPECT_EQ(count, 1) << number << " received " << count << " faxes";
  for (size_t h = 0; h < per_host.size(); ++h) EXPECT_GT(per_host[h], 0) << "host " << kHosts[h] << " sent nothing";
  EXPECT_TRUE(Ask(*hosts[1], "jobs", json::object()).empty());
  for (auto& host : hosts) EXPECT_EQ(host->Stop(), 0) << host->Journal();
}

// A client of one host follows and waits for a job another host queued and
// sent: the changes cross between the hosts.
TEST_F(SharedQueue, AFollowerOfOneHostHearsTheJobsOfAnotherAndWaitsForTheirEnd) {
  auto a = StartHost("a", 0);
  auto b = StartHost("b", 0);
  rpc::Client follower(rpc::ConnectUnixSocket(b->socket()));
  std::vector<json> heard;
  follower.on_notification = [&](const std::string& method, const json& params) {
    if (method == "job") heard.push_back(params);
  };
  follower.Call("follow", {{"name", "jobs"}});
  const std::string document =
      MakeFaxTiff(ScratchPath("cluster-followed.tif"), 1, PageResolution::kStandard, pages::PageStyle::kText);
  const int64_t id = Submit(*a, "0633333333", document);
  ASSERT_GT(id, 0);
  const json ended = Ask(*b, "wait", {{"job", id}});
  EXPECT_EQ(ended.value("state", ""), "done") << ended.dump();
  EXPECT_EQ(ended.value("pages_sent", 0), 1);
  auto told = [&](const std::string& event) {
    return std::any_of(heard.begin(), heard.end(), [&](const json& change) {
      return change.value("job", int64_t{0}) == id && change.value("event", "") == event;
    });
  };
  for (int i = 0; i < 100 && !told("ended"); ++i) follower.Pump(std::chrono::milliseconds(100));
  EXPECT_TRUE(told("queued")) << "host b's follower did not hear host a queue the job";
  EXPECT_TRUE(told("ended"));
  const auto queued = std::find_if(heard.begin(), heard.end(), [](const json& c) { return c["event"] == "queued"; });
  ASSERT_NE(queued, heard.end());
  EXPECT_EQ(queued->value("host", ""), "host-a");
  EXPECT_EQ(a->Stop(), 0) << a->Journal();
  EXPECT_EQ(b->Stop(), 0) << b->Journal();
}

// A host killed in the middle of a fax: once its lease has run out another
// host takes the job up; two attempts are recorded, the first naming the host
// that stopped, and the fax is delivered once.
TEST_F(SharedQueue, AJobWhoseHostIsKilledMidFaxIsFinishedByAnotherWithTwoAttempts) {
  auto a = StartHost("a", 1);
  const int64_t id = RunningJob(*a, "0611111111");
  ASSERT_GT(id, 0);
  a->Kill();
  auto b = StartHost("b", 0);
  ExpectTakenOverByB(FinishedJob(*b, id), *b, "0611111111");
  EXPECT_EQ(b->Stop(), 0) << b->Journal();
}

// A host paused past its lease (SIGSTOP), then let go on (SIGCONT): the job
// was taken up meanwhile, and the paused host's late result is refused, so
// the job has the two attempts of the two hosts and no third.
TEST_F(SharedQueue, APausedHostComesBackToFindItsJobTakenAndItsLateResultRefused) {
  auto a = StartHost("a", 1);
  const int64_t id = RunningJob(*a, "0622222222");
  ASSERT_GT(id, 0);
  ASSERT_EQ(::kill(a->pid(), SIGSTOP), 0);
  auto b = StartHost("b", 0);
  const json taken = FinishedJob(*b, id);
  ASSERT_EQ(::kill(a->pid(), SIGCONT), 0);
  ASSERT_FALSE(taken.is_null());
  ASSERT_TRUE(WaitFor([&] { return a->Journal().find("another host") != std::string::npos; }, std::chrono::seconds(60)))
      << a->Journal();
  ExpectTakenOverByB(Ask(*a, "attempts", {{"job", id}}), *b, "0622222222");
  EXPECT_EQ(a->Stop(), 0) << a->Journal();
  EXPECT_EQ(b->Stop(), 0) << b->Journal();
}

// PostgreSQL restarted while the hosts send: calls under way go on, results
// wait for the database, and every job ends once, delivered once.
TEST_F(SharedQueue, ADatabaseRestartedMidRunLosesNothingAndEndsEveryJobOnce) {
  std::vector<std::unique_ptr<DaemonProcess>> hosts;
  for (const char* name : kHosts) hosts.push_back(StartHost(name, 0, 4, 60));
  const std::string document =
      MakeFaxTiff(ScratchPath("cluster-restart.tif"), 1, PageResolution::kStandard, pages::PageStyle::kText);
  constexpr int kJobs = 120;
  for (int i = 0; i < kJobs; ++i) ASSERT_GT(Submit(*hosts[i % 3], fmt::format("07{:08}", i), document), 0) << i;
  ASSERT_TRUE(WaitFor([&] { return Ask(*hosts[0], "history", {{"limit", kJobs}}).size() >= 20; },
                      std::chrono::seconds(120)));
  ASSERT_TRUE(PgCluster::Restart());
  json ended;
  ASSERT_TRUE(WaitFor(
      [&] {
        try {
          ended = Ask(*hosts[0], "history", {{"limit", kJobs + 10}});
        } catch (const std::exception&) {
          return false;  // the host's own store is still reconnecting
        }
        return ended.size() >= static_cast<size_t>(kJobs);
      },
      std::chrono::seconds(300)))
      << ended.size() << " of " << kJobs << " jobs ended";
  EXPECT_EQ(ended.size(), static_cast<size_t>(kJobs));
  for (const auto& job : ended) {
    EXPECT_EQ(job.value("state", ""), "done") << job.dump();
    EXPECT_EQ(job.value("attempts", 0), 1) << job.dump();
  }
  std::map<std::string, int> delivered;
  for (const auto& host : hosts) {
    for (const auto& [number, count] : Inbox(*host)) delivered[number] += count;
  }
  EXPECT_EQ(delivered.size(), static_cast<size_t>(kJobs));
  for (const auto& [number, count] : delivered) EXPECT_EQ(count, 1) << number;
  for (auto& host : hosts) EXPECT_EQ(host->Stop(), 0) << host->Journal();
}

}  // namespace
}  // namespace qvfax::testing
