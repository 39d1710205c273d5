// Calls for one fax service spread over its hosts by the test network's
// Kamailio (dispatcher): three qvfaxd hosts on the sip engine answer the
// number "faxservice" with no registration, sharing the queue's database;
// qvfax calls it from account fax1. A host that stops is left out and the
// calls go to the others.
#include <stdlib.h>

#include <filesystem>
#include <memory>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "daemon_process.h"
#include "pg_cluster.h"
#include "program_run.h"
#include "sip_files.h"
#include "tiff_maker.h"

namespace qvfax::testing {
namespace {

namespace fs = std::filesystem;

class ServiceCalls : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The sender keeps its state and engine log in a folder of the test's.
    ::setenv("XDG_STATE_HOME", ScratchPath("service-sender-state").c_str(), 1);
    ASSERT_EQ(SipNet("start"), 0);
    ASSERT_TRUE(PgCluster::Start());
  }
  static void TearDownTestSuite() {
    EXPECT_TRUE(PgCluster::Stop());
    EXPECT_EQ(SipNet("stop"), 0);
  }
  void SetUp() override { PgCluster::Empty(); }

  // Host `i` (1 to 3) of the service, where the network's dispatcher looks for it.
  static std::unique_ptr<DaemonProcess> StartHost(int i) {
    const std::string engine = EngineFile(fmt::format("service-host-{}.json", i),
                                          {R"("name": "service", "user": "faxservice", "use": "receive")"},
                                          35300 + i, 42000 + 100 * i);
    const std::string shared = ScratchPath("service-queue");
    fs::create_directories(shared);
    return std::make_unique<DaemonProcess>(
        0, std::vector<std::string>{"--engine", "sip", "--engine-config", engine, "--queue-db", PgCluster::Url(),
                                    "--queue-folder", shared, "--host-name", fmt::format("host-{}", i)});
  }

  static int Received(const DaemonProcess& host) {
    const fs::path inbox = fs::path(host.StateFolder()) / "qvfax" / "inbox";
    int count = 0;
    if (fs::exists(inbox)) {
      for (const auto& entry : fs::directory_iterator(inbox)) count += entry.path().extension() == ".tif";
    }
    return count;
  }

  // One fax to the service; the sender's exit status.
  static int Call(const std::string& document) {
    const std::string sender =
        EngineFile("service-sender.json", {Account("sender", "fax1", "send", "on", Secret("fax1"))}, 35081, 40000);
    const auto run = RunToEnd({QVFAX_PATH, "--in-process", "--engine", "sip", "--engine-config", sender, "send",
                               "--port", "sip0", "faxservice", document});
    EXPECT_EQ(run.exit, 0) << run.out << run.err;
    return run.exit;
  }
};

TEST_F(ServiceCalls, CallsAreSpreadOverTheHostsAndAHostThatStopsIsLeftOut) {
  std::vector<std::unique_ptr<DaemonProcess>> hosts;
  for (int i = 1; i <= 3; ++i) hosts.push_back(StartHost(i));
  const std::string document =
      MakeFaxTiff(ScratchPath("service-call.tif"), 1, PageResolution::kStandard, pages::PageStyle::kText);
  constexpr int kCalls = 30;
  for (int i = 0; i < kCalls; ++i) ASSERT_EQ(Call(document), 0) << "call " << i;
  int total = 0;
  for (const auto& host : hosts) {
    EXPECT_GT(Received(*host), 0) << "a host of the service took no call";
    total += Received(*host);
  }
  EXPECT_EQ(total, kCalls);

  const int stopped_had = Received(*hosts[2]);
  EXPECT_EQ(hosts[2]->Stop(), 0) << hosts[2]->Journal();
  constexpr int kMore = 6;
  for (int i = 0; i < kMore; ++i) ASSERT_EQ(Call(document), 0) << "call " << i << " after a host stopped";
  EXPECT_EQ(Received(*hosts[0]) + Received(*hosts[1]) + stopped_had, kCalls + kMore);
  EXPECT_EQ(Received(*hosts[2]), stopped_had);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(hosts[i]->Stop(), 0) << hosts[i]->Journal();
}

}  // namespace
}  // namespace qvfax::testing
