// Faxes to qvfax from fax programs nobody here wrote: qvfaxd answers on the
// rig's modem B (scripts/rig) while efax or HylaFAX's sendfax calls from
// modem A; what arrives in the inbox is checked against what was sent. Real
// time, like the sending side.
#include <poll.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>
#include <thread>

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "daemon_process.h"
#include "engines/pages/tiff_pages.h"
#include "page_compare.h"
#include "rig_waits.h"
#include "rpc/client.h"
#include "tiff_maker.h"

namespace qvfax {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using nlohmann::json;

constexpr uint32_t kSenderHeaderRows = 60;  // efax's header line, HylaFAX's tag line
constexpr uint32_t kOurHeaderRows = 40;  // the header we draw on the pages we send
constexpr const char* kCallerNumber = "45701";  // the caller ID modem A's line gives
constexpr const char* kCallerName = "qvfax";

using testing::RigDir;
using testing::WaitFor;

bool RigUp() { return fs::exists(RigDir() / "modem.json") && fs::exists("/dev/ttyQVb"); }

int Rig(const std::string& arguments) {
  return std::system(("bash " QVFAX_SOURCE_DIR "/scripts/rig " + arguments).c_str());
}

class RigReceive : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!RigUp()) {
      if (std::getenv("QVFAX_RIG_REQUIRED")) FAIL() << "the rig is not up: bash scripts/rig start";
      GTEST_SKIP() << "the rig is not up (bash scripts/rig start)";
    }
    ASSERT_EQ(Rig("receiver none"), 0);
    const std::string engine = testing::ScratchPath("answering-modem.json");
    std::ofstream(engine) << fmt::format(R"({{"ports": [{{"device": "/dev/ttyQVb", "name": "ttyQVb", "flow": "none",
                                            "use": "{}", "rings": 1}}], "local_id": "+39 06 5550199"}})", use);
    daemon = std::make_unique<testing::DaemonProcess>(0, std::vector<std::string>{
        "--engine", "modem", "--engine-config", engine});
    // It answers before it listens: up, it waits for calls on the port or has said why not.
    ASSERT_EQ(daemon->Journal().find("cannot answer"), std::string::npos) << daemon->Journal();
  }

  void TearDown() override {
    if (daemon) {
      EXPECT_EQ(daemon->Stop(), 0) << daemon->Journal();
    }
    // The line as the other tests expect it, whatever this one left.
    EXPECT_EQ(Rig("start efax"), 0);
  }

  json Inbox() {
    rpc::Client client(rpc::ConnectUnixSocket(daemon->socket()));
    return client.Call("inbox", {{"limit", 20}});
  }

  // The newest fax once there are `count`, or null.
  json WaitForFax(size_t count) {
    json faxes;
    WaitFor([&] { return (faxes = Inbox()).size() >= count; }, std::chrono::seconds(60));
    return faxes.size() >= count ? faxes.front() : json();
  }

  std::string ModemLog() const {
    std::ifstream in(fs::path(daemon->StateFolder()) / "qvfax" / "qvfax-modem.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::string use = "receive";  // the port's use: it only answers, or it also sends
  std::unique_ptr<testing::DaemonProcess> daemon;
};

struct Sender {
  const char* program;
  int pages;
  const char* remote_id;  // the TSI it sends (HylaFAX sends a blank one on the rig)
  bool ecm;
};

TEST_F(RigReceive, FaxesFromEfaxAndHylafaxArriveInTheInboxAsSent) {
  const Sender senders[] = {{"efax", 1, "+39 06 5550101", false},
                            {"hylafax", 3, "", true},
                            {"efax", 3, "+39 06 5550101", false},
                            {"hylafax", 1, "", true}};
  size_t received = 0;
  for (const auto& s : senders) {
    SCOPED_TRACE(fmt::format("{} sends {} page(s)", s.program, s.pages));
    const std::string sent = testing::MakeFaxTiff(testing::ScratchPath(fmt::format("to-qvfax-{}.tif", s.pages)),
                                                  s.pages, testing::PageResolution::kFine, pages::PageStyle::kLetter);
    const auto started = Clock::now();
    EXPECT_EQ(Rig(fmt::format("send {} {}", s.program, sent)), 0) << "the sender says the fax did not go through";
    std::cout << fmt::format("[ timing ] {} {} page(s) to qvfax: {:.1f} s\n", s.program, s.pages,
                             std::chrono::duration<double>(Clock::now() - started).count());
    const json fax = WaitForFax(++received);
    ASSERT_TRUE(fax.is_object()) << ModemLog();
    EXPECT_EQ(fax["pages"], s.pages);
    EXPECT_TRUE(fax["complete"].get<bool>()) << fax["reason"];
    EXPECT_EQ(fax["caller_number"], kCallerNumber);
    EXPECT_EQ(fax["caller_name"], kCallerName);
    EXPECT_EQ(fax["remote_id"], s.remote_id);
    EXPECT_EQ(fax["ecm"], s.ecm);
    EXPECT_EQ(fax["y_dpi"], 196);
    EXPECT_EQ(fs::status(fax["file"].get<std::string>()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    testing::ExpectSamePagesBelowSenderRows(sent, fax["file"], s.pages, kSenderHeaderRows);
  }
  // One training a call: every call trained at its first TCF.
  const std::string log = ModemLog();
  size_t cfr = 0;
  const std::string sent_cfr = "> frame 3 bytes fcf 84";
  for (size_t at = log.find(sent_cfr); at != std::string::npos; at = log.find(sent_cfr, at + 1)) ++cfr;
  EXPECT_EQ(cfr, received) << "CFR once a call\n" << log;
  EXPECT_EQ(log.find("fcf 44"), std::string::npos) << "no FTT: no call had to train again";
}

TEST_F(RigReceive, ASenderWhoseModemDiesMidPageLeavesAPartialFaxWithThePagesConfirmed) {
  const std::string sent = testing::MakeFaxTiff(testing::ScratchPath("to-qvfax-dies.tif"), 3,
                                                testing::PageResolution::kFine, pages::PageStyle::kLetter);
  const fs::path efax_log = RigDir() / "efax-send.log";
  fs::remove(efax_log);
  std::thread sender([&] { Rig("send efax " + sent); });
  // Once efax has our MCF to page 1, page 2 is on its way for half a minute:
  // its modem dies in it, with no hang-up on the line.
  const bool confirmed = WaitFor(
      [&] {
        std::ifstream in(efax_log);
        std::stringstream text;
        text << in.rdbuf();
        return text.str().find("received MCF") != std::string::npos;
      },
      std::chrono::seconds(150));
  if (confirmed) {
    ::poll(nullptr, 0, 4000);
    Rig("kill-sender");
  }
  sender.join();
  ASSERT_TRUE(confirmed) << ModemLog();
  const json fax = WaitForFax(1);
  ASSERT_TRUE(fax.is_object()) << ModemLog();
  EXPECT_EQ(fax["pages"], 1);
  EXPECT_FALSE(fax["complete"].get<bool>());
  EXPECT_NE(fax["reason"].get<std::string>().find("Lost carrier"), std::string::npos) << fax["reason"];
  testing::ExpectSamePagesBelowSenderRows(sent, fax["file"], 1, kSenderHeaderRows);
}

class RigAnswerAndSend : public RigReceive {
 protected:
  RigAnswerAndSend() { use = "both"; }
};

TEST_F(RigAnswerAndSend, AJobDueDuringACallWaitsForItGoesOutAfterAndThePortAnswersAgain) {
  const std::string incoming = testing::MakeFaxTiff(testing::ScratchPath("to-qvfax-lend.tif"), 3,
                                                    testing::PageResolution::kFine, pages::PageStyle::kLetter);
  const std::string outgoing = testing::MakeFaxTiff(testing::ScratchPath("from-qvfax-lend.tif"), 1,
                                                    testing::PageResolution::kFine, pages::PageStyle::kText);
  rpc::Client follower(rpc::ConnectUnixSocket(daemon->socket()));
  bool answered = false;
  follower.on_notification = [&](const std::string& method, const json& params) {
    answered = answered || (method == "inbox" && params.value("event", "") == "incoming");
  };
  follower.Call("follow", {{"name", "inbox"}});
  // HylaFAX sends from modem A; its faxgetty answers there afterwards.
  bool sent = false;
  std::thread sender([&] { sent = Rig("send hylafax " + incoming) == 0; });
  for (int i = 0; i < 900 && !answered; ++i) follower.Pump(std::chrono::milliseconds(200));
  json ended, attempts;
  if (answered) {
    // The call has the port: a job due now waits for it.
    rpc::Client client(rpc::ConnectUnixSocket(daemon->socket()));
    client.call_timeout = std::chrono::minutes(6);
    const auto queued = client.Call("submit", {{"number", "5550101"}, {"files", {outgoing}}, {"retries", 0}});
    ended = client.Call("wait", {{"job", queued.at("job")}});
    attempts = client.Call("attempts", {{"job", queued.at("job")}}).at("attempts");
  }
  sender.join();
  ASSERT_TRUE(answered) << "qvfaxd never answered HylaFAX's call\n" << daemon->Journal();
  EXPECT_TRUE(sent) << "HylaFAX says its fax did not go through";
  const json fax = WaitForFax(1);
  ASSERT_TRUE(fax.is_object()) << ModemLog();
  EXPECT_EQ(fax["pages"], 3);
  EXPECT_TRUE(fax["complete"].get<bool>()) << fax["reason"] << "\n" << ModemLog();
  testing::ExpectSamePagesBelowSenderRows(incoming, fax["file"], 3, kSenderHeaderRows);
  EXPECT_NE(daemon->Journal().find("the queue waits for ttyQVb: a fax is coming in on it"), std::string::npos)
      << daemon->Journal();
  // It dialled once the call was over. HylaFAX's modem may still be busy
  // with its own call's end: then the line said so and nothing was sent.
  ASSERT_EQ(attempts.size(), 1u) << ended.dump();
  EXPECT_GE(attempts[0].value("started_ms", int64_t{0}),
            fax.value("received_ms", int64_t{0}) + fax.value("duration_ms", int64_t{0}));
  const std::string outcome = ended.value("outcome", "");
  if (outcome == "delivered") {
    EXPECT_EQ(ended.value("pages_sent", 0), 1);
    const std::string got = testing::NewestHylafaxFax(1);
    ASSERT_FALSE(got.empty()) << "HylaFAX kept no fax of one page";
    testing::ExpectSamePages(outgoing, got, 1, kOurHeaderRows);
  } else {
    EXPECT_EQ(outcome, "busy") << ended.dump();
    EXPECT_EQ(ended.value("pages_sent", -1), 0);
  }
  // The queue gave the port back: it answers the next call.
  EXPECT_EQ(Rig("send hylafax " + outgoing), 0);
  const json next = WaitForFax(2);
  ASSERT_TRUE(next.is_object()) << daemon->Journal();
  EXPECT_EQ(next["pages"], 1);
  EXPECT_TRUE(next["complete"].get<bool>()) << next["reason"];
}

}  // namespace
}  // namespace qvfax
