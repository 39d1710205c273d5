// The queue's methods through the broker, on a fast simulated bank: a job
// submitted, followed and waited for; refusals with their codes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engines/sim/sim_bank.h"
#include "queue/apartment_home.h"
#include "queue/job_queue.h"
#include "rpc/broker.h"
#include "rpc/in_process.h"
#include "rpc/jsonrpc.h"
#include "tiff_maker.h"

namespace qvfax::rpc {
namespace {

class BrokerJobsTest : public ::testing::Test {
 protected:
  BrokerJobsTest()
      : broker(BrokerOptions{[](ComponentRegistry& r) {
                               auto config = sim::DefaultConfig();
                               config.timing = {5, 5, 5, 10, 5};
                               sim::Remote busy;
                               busy.answer = sim::Answer::kBusy;
                               config.remotes["0699"] = busy;
                               sim::RegisterSimEngine(r, config);
                             },
                             std::chrono::milliseconds(2000), ""}),
        folder(testing::ScratchPath("broker-jobs")) {
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder + "/documents");
    queue::QueueOptions options;
    options.ports = {"ttyS0"};
    options.now_ms = [] {
      return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
          .count();
    };
    options.make_home = [registry = broker.registry()](const std::string& name) {
      return std::make_unique<queue::ApartmentHome>(registry, name);
    };
    options.on_event = [this](const json& change) { broker.JobChanged(change); };
    jobs = std::make_unique<queue::JobQueue>(queue::OpenSqliteStore(folder + "/jobs.sqlite"), options);
    broker.AttachQueue(jobs.get(), folder + "/documents");
  }
  ~BrokerJobsTest() override {
    broker.AttachQueue(nullptr, "");
    jobs.reset();
  }

  Broker broker;
  std::string folder;
  std::unique_ptr<queue::JobQueue> jobs;
};

TEST_F(BrokerJobsTest, ASubmittedJobIsFollowedToItsEnd) {
  Client client(ConnectInProcess(broker));
  std::vector<std::string> heard;
  client.on_notification = [&](const std::string& method, const json& params) {
    if (method == "job") heard.push_back(params.value("event", "") + " " + params.value("state", ""));
  };
  client.Call("follow", {{"name", "jobs"}});
  const std::string document = testing::MakeFaxTiff(folder + "/two.tif", 2, pages::PageResolution::kFine,
                                                    pages::PageStyle::kBars);
  const auto queued = client.Call("submit", {{"number", "0612345678"}, {"files", {document}}, {"retries", 0}});
  EXPECT_EQ(queued.value("pages", 0), 2);
  const auto ended = client.Call("wait", {{"job", queued.at("job")}});
  EXPECT_EQ(ended.value("outcome", ""), "delivered");
  EXPECT_EQ(ended.value("pages_sent", 0), 2);
  EXPECT_EQ(ended.value("max_attempts", 0), 1);
  EXPECT_EQ(heard, (std::vector<std::string>{"queued queued", "started running", "ended done"}));
  const auto attempts = client.Call("attempts", {{"job", queued.at("job")}});
  ASSERT_EQ(attempts.at("attempts").size(), 1u);
  EXPECT_THAT(attempts.at("attempts")[0].value("log", ""), ::testing::HasSubstr("Pages sent 2"));
  EXPECT_EQ(client.Call("history", json::object()).size(), 1u);
  EXPECT_TRUE(client.Call("jobs", json::object()).empty());
  // What was prepared for it went with it.
  EXPECT_TRUE(std::filesystem::is_empty(folder + "/documents"));
}

TEST_F(BrokerJobsTest, RefusalsCarryTheirCodeAndLeaveNothingBehind) {
  Client client(ConnectInProcess(broker));
  const std::string document = testing::MakeFaxTiff(folder + "/one.tif", 1, pages::PageResolution::kFine,
                                                    pages::PageStyle::kBars);
  struct Row {
    json params;
    int code;
    const char* says;
  } rows[] = {
      {{{"number", "0601"}, {"files", {folder + "/missing.pdf"}}}, -32004, "missing.pdf"},
      {{{"number", ""}, {"files", {document}}}, -32005, "number is empty"},
      {{{"number", "0601"}, {"files", {document}}, {"at", 1000}}, -32005, "has passed"},
      {{{"number", "0601"}, {"files", {document}}, {"retries", -1}}, -32005, "attempts"},
      {{{"number", "0601"}, {"files", "one.tif"}}, -32602, "list of file paths"},
      {{{"number", "0601"}, {"files", {document}}, {"at", "noon"}}, -32602, "milliseconds"},
      {{{"number", "0601"}, {"files", {document}}, {"request", std::string(201, 'r')}}, -32602, "longer than 200"},
  };
  for (const auto& row : rows) {
    try {
      client.Call("submit", row.params);
      ADD_FAILURE() << row.params;
    } catch (const RemoteError& e) {
      EXPECT_EQ(e.code(), row.code) << row.params;
      EXPECT_THAT(e.what(), ::testing::HasSubstr(row.says));
    }
  }
  for (const char* method : {"remove", "wait", "attempts"}) {
    try {
      client.Call(method, {{"job", 42}});
      ADD_FAILURE() << method;
    } catch (const RemoteError& e) {
      EXPECT_EQ(e.code(), -32005) << method;
      EXPECT_STREQ(e.what(), "no job 42");
    }
  }
  EXPECT_TRUE(client.Call("jobs", json::object()).empty());
  for (const auto& e : std::filesystem::recursive_directory_iterator(folder + "/documents")) ADD_FAILURE() << e.path();
}

// A client that lost the answer to its submit and asks again gets the job it
// made; a client that left before the answer made none.
TEST_F(BrokerJobsTest, ASubmitIsQueuedOnceAndOnlyForAClientStillThere) {
  const std::string document = testing::MakeFaxTiff(folder + "/once.tif", 1, pages::PageResolution::kFine,
                                                    pages::PageStyle::kBars);
  const int64_t later = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::system_clock::now().time_since_epoch()).count() + 3'600'000;
  const json params = {{"number", "0601"}, {"files", {document}}, {"at", later}, {"request", "r-1"}};
  Client client(ConnectInProcess(broker));
  const auto first = client.Call("submit", params);
  const auto again = client.Call("submit", params);
  EXPECT_EQ(again.at("job"), first.at("job"));
  EXPECT_TRUE(again.value("repeated", false));
  EXPECT_EQ(again.value("pages", 0), 1);
  json other = params;
  other["request"] = "r-2";
  const auto second = client.Call("submit", other).at("job");
  EXPECT_NE(second, first.at("job"));
  EXPECT_EQ(client.Call("jobs", json::object()).size(), 2u);
  // A page at a time: the first, then those after it.
  const auto page = client.Call("jobs", {{"limit", 1}});
  ASSERT_EQ(page.size(), 1u);
  EXPECT_EQ(page[0].at("job"), first.at("job"));
  const auto next = client.Call("jobs", {{"after", first.at("job")}, {"limit", 5}});
  ASSERT_EQ(next.size(), 1u);
  EXPECT_EQ(next[0].at("job"), second);

  // Gone while Ghostscript still works on its document.
  const std::string slow = folder + "/slow.ps";
  std::ofstream(slow) << "%!PS\n0 1 30000000 { pop } for\n/Helvetica findfont 20 scalefont setfont 72 700 moveto (slow) show showpage\n";
  {
    auto leaving = ConnectInProcess(broker);
    leaving->Send(Request(1, "submit", {{"number", "0602"}, {"files", {slow}}, {"at", later}}));
  }
  // The documents are prepared one request at a time: when this one is done, so is the one before.
  client.Call("prepare", {{"files", {document}}});
  EXPECT_EQ(client.Call("jobs", json::object()).size(), 2u) << "the job of a client that left was queued";
}

}  // namespace
}  // namespace qvfax::rpc
