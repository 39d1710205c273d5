// Faxes over SIP between two qvfax processes through the test network's
// Kamailio, in real time: qvfax sends from account fax1 and a qvfaxd answers
// as fax2. G.711 audio, T.38 by re-INVITE, and T.38 refused; then the ways a
// call fails, each with the exit status and the pages confirmed.
#include <signal.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "daemon_process.h"
#include "lossy_relay.h"
#include "engines/pages/tiff_pages.h"
#include "page_compare.h"
#include "program_run.h"
#include "rig_waits.h"
#include "rpc/client.h"
#include "sip_files.h"
#include "tiff_maker.h"

namespace qvfax::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr uint32_t kOurHeaderRows = 40;  // where a header would be drawn on the pages sent

class SipCalls : public ::testing::Test {
 protected:
  // The sender (qvfax in this test's environment) keeps its state, and its engine log, in a folder of its own.
  static void SetUpTestSuite() {
    ASSERT_EQ(SipNet("start"), 0);
    if (const char* before = std::getenv("XDG_STATE_HOME")) state_before_ = before;
    sender_state_ = ScratchPath("sip-sender-state");
    fs::remove_all(sender_state_);
    ::setenv("XDG_STATE_HOME", sender_state_.c_str(), 1);
  }
  static void TearDownTestSuite() {
    if (state_before_.empty()) {
      ::unsetenv("XDG_STATE_HOME");
    } else {
      ::setenv("XDG_STATE_HOME", state_before_.c_str(), 1);
    }
    EXPECT_EQ(SipNet("stop"), 0);
  }
  static std::string SenderLog() { return SipLog(sender_state_); }
  static std::string Phone() {
    std::ifstream in("/tmp/qvfax-sipnet/baresip.log");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  void TearDown() override {
    if (receiver) {
      EXPECT_EQ(receiver->Stop(), 0) << receiver->Journal();
    }
  }

  // qvfaxd answering as fax2 (and, registered but never answering, fax3).
  // `extra`: more of the engine file's fields.
  void StartReceiver(const std::string& t38, const std::string& extra = "") {
    const std::string engine = EngineFile(
        "sip-receiver.json",
        {Account("receiver", "fax2", "receive", t38, Secret("fax2")), Account("sender only", "fax3", "send", "on", Secret("fax3"))},
        35082, 41000, extra);
    // It is up once its channel answers, which waits for the registration.
    receiver = std::make_unique<DaemonProcess>(0, std::vector<std::string>{"--engine", "sip", "--engine-config", engine});
    ASSERT_EQ(receiver->Journal().find("cannot answer"), std::string::npos) << receiver->Journal();
  }

  std::vector<std::string> Send(const std::string& engine, const std::string& number, const std::string& document) {
    return {QVFAX_PATH, "--in-process", "--engine", "sip", "--engine-config", engine, "send", "--port", "sip0",
            number, document};
  }

  std::string Sender(const std::string& t38, const std::string& secret = Secret("fax1"), const std::string& extra = "") {
    return EngineFile("sip-sender.json", {Account("sender", "fax1", "send", t38, secret)}, 35081, 40000, extra);
  }

  json Inbox() {
    rpc::Client client(rpc::ConnectUnixSocket(receiver->socket()));
    return client.Call("inbox", {{"limit", 20}});
  }

  static std::string SipLog(const std::string& state_folder) {
    std::ifstream in(fs::path(state_folder) / "qvfax" / "qvfax-sip.log");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::string ReceiverLog() const { return SipLog(receiver->StateFolder()); }

  std::unique_ptr<DaemonProcess> receiver;
  static inline std::string sender_state_, state_before_;
};

struct Transport {
  const char* name;
  const char* sender_t38;
  const char* receiver_t38;
  int pages;
  const char* receiver_says;  // in its engine log: how the media went
};

TEST_F(SipCalls, FaxesArriveEqualOverG711AndOverT38AndStayOnG711WhenT38IsRefused) {
  const Transport transports[] = {
      {"G.711 only", "off", "off", 1, "media: G.711 PCMA"},
      {"T.38 by re-INVITE, unpaced between two terminals", "on", "on", 3, "datagrams up to 400, unpaced"},
      {"T.38 refused", "off", "on", 3, "the far end refused T.38: 488"},
  };
  for (const auto& t : transports) {
    SCOPED_TRACE(t.name);
    StartReceiver(t.receiver_t38);
    const std::string sent =
        MakeFaxTiff(ScratchPath(fmt::format("sip-{}.tif", t.pages)), t.pages, PageResolution::kFine, pages::PageStyle::kLetter);
    const auto run = RunToEnd(Send(Sender(t.sender_t38), "fax2", sent));
    EXPECT_EQ(run.exit, 0) << run.out << run.err << ReceiverLog();
    EXPECT_NE(run.out.find(fmt::format("Sent {} page", t.pages)), std::string::npos) << run.out;
    json faxes;
    ASSERT_TRUE(WaitFor([&] { return !(faxes = Inbox()).empty(); }, std::chrono::seconds(20))) << receiver->Journal();
    const json fax = faxes.front();
    EXPECT_EQ(fax["pages"], t.pages);
    EXPECT_TRUE(fax["complete"].get<bool>()) << fax["reason"];
    EXPECT_EQ(fax["caller_number"], "fax1");
    ExpectSamePages(sent, fax["file"].get<std::string>(), t.pages, kOurHeaderRows);
    EXPECT_NE(ReceiverLog().find(t.receiver_says), std::string::npos) << ReceiverLog();
    if (std::string(t.receiver_t38) == "off" || std::string(t.sender_t38) == "off") {
      EXPECT_EQ(ReceiverLog().find("media: T.38"), std::string::npos) << ReceiverLog();
    }
    EXPECT_EQ(receiver->Stop(), 0);
    receiver.reset();
  }
}

struct LossyCase {
  const char* name;
  const char* t38;
  double loss;
  bool must_deliver;  // loss this light never stops a fax on this transport
};

// Media go through relays that lose, delay and reorder: the receiver gives
// 127.0.0.2 as its media address and the sender 127.0.0.3, where the relays
// listen, so every datagram either way crosses one of them.
TEST_F(SipCalls, OverALossyNetworkT38DeliversEqualPagesAndG711NeverCountsAPageItDidNotDeliver) {
  const LossyCase cases[] = {{"T.38, 1 % lost, 60 ms of jitter", "on", 0.01, true},
                             {"T.38, 5 % lost, 60 ms of jitter", "on", 0.05, true},
                             {"G.711, 1 % lost, 60 ms of jitter", "off", 0.01, false}};
  const std::string sent = MakeFaxTiff(ScratchPath("sip-lossy.tif"), 1, PageResolution::kFine, pages::PageStyle::kLetter);
  uint32_t seed = 7;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LossyRelay to_receiver("127.0.0.2", "127.0.0.1", 41000, 41099, {c.loss, 20, 60, seed++});
    LossyRelay to_sender("127.0.0.3", "127.0.0.1", 40000, 40099, {c.loss, 20, 60, seed++});
    ASSERT_TRUE(to_receiver.Listening() && to_sender.Listening());
    StartReceiver(c.t38, R"(, "external_address": "127.0.0.2")");
    const auto run = RunToEnd(Send(Sender(c.t38, Secret("fax1"), R"(, "external_address": "127.0.0.3")"), "fax2", sent));
    json faxes;
    WaitFor([&] { return !(faxes = Inbox()).empty(); }, std::chrono::seconds(20));
    const int received = faxes.empty() ? 0 : faxes.front()["pages"].get<int>();
    if (c.must_deliver || run.exit == 0) {
      EXPECT_EQ(run.exit, 0) << run.out << run.err;
      ASSERT_EQ(received, 1) << ReceiverLog();
    } else {
      // Failed honestly: it says how far it got, and no further than the receiver kept.
      std::smatch said;
      ASSERT_TRUE(std::regex_search(run.err, said, std::regex("after (\\d+) of 1 pages"))) << run.err;
      EXPECT_LE(std::stoi(said[1]), received) << run.err;
    }
    if (received > 0) ExpectSamePages(sent, faxes.front()["file"].get<std::string>(), received, kOurHeaderRows);
    EXPECT_GT(to_receiver.Lost() + to_sender.Lost(), 0) << "the relays lost nothing";
    EXPECT_GT(to_receiver.Overtaken() + to_sender.Overtaken(), 0) << "the relays reordered nothing";
    EXPECT_GT(to_receiver.Passed() + to_sender.Passed(), 100) << "the media went round the relays";
    EXPECT_EQ(receiver->Stop(), 0);
    receiver.reset();
  }
}

struct Refusal {
  const char* name;
  const char* number;
  bool wrong_password;
  int exit;
  const char* says;
};

TEST_F(SipCalls, ACallTheNetworkRefusesEndsWithItsOutcomeAndNoPage) {
  StartReceiver("on");
  const std::string wrong = ScratchPath("wrong.secret");
  std::ofstream(wrong) << "not-the-password\n";
  fs::permissions(wrong, fs::perms::owner_read | fs::perms::owner_write);
  const Refusal refusals[] = {
      {"busy: the account answers no calls", "fax3", false, 1, "busy"},
      {"a number nobody has", "fax9", false, 2, "invalid telephone number"},
      {"our password is wrong", "fax2", true, 5, "the registrar refused account sender: 401"},
  };
  const std::string sent = MakeFaxTiff(ScratchPath("sip-refused.tif"), 1, PageResolution::kFine, pages::PageStyle::kLetter);
  for (const auto& r : refusals) {
    SCOPED_TRACE(r.name);
    const auto run = RunToEnd(Send(Sender("on", r.wrong_password ? wrong : Secret("fax1")), r.number, sent));
    EXPECT_EQ(run.exit, r.exit) << run.out << run.err;
    EXPECT_NE((run.out + run.err + SenderLog()).find(r.says), std::string::npos)
        << run.out << run.err;
    EXPECT_EQ(run.out.find("Sent "), std::string::npos) << run.out;
  }
  EXPECT_TRUE(Inbox().empty());
}

// Over G.711, whose pages take the time a telephone line gives them: between
// two of our own ends T.38 needs no pacing and a page is over before a test
// could step in.
TEST_F(SipCalls, AReceiverThatHangsUpMidFaxLeavesTheSenderWithThePagesConfirmedOnly) {
  StartReceiver("off");
  const std::string sent = MakeFaxTiff(ScratchPath("sip-long.tif"), 3, PageResolution::kFine, pages::PageStyle::kLetter);
  ProgramRun run(Send(Sender("off"), "fax2", sent));
  ASSERT_TRUE(run.WaitForOutput("Sending page 2")) << run.out();
  // The daemon ends: it hangs up the call it has (a BYE) on its way out.
  EXPECT_EQ(receiver->Stop(), 0) << receiver->Journal();
  const int exit = run.Wait();
  EXPECT_EQ(exit, 5) << run.out() << run.err();
  EXPECT_NE(run.err().find("after 1 of 3 pages"), std::string::npos) << run.err();
  receiver.reset();
}

TEST_F(SipCalls, ACancelledSendHangsUpAndExitsCancelled) {
  StartReceiver("off");
  const std::string sent = MakeFaxTiff(ScratchPath("sip-cancel.tif"), 3, PageResolution::kFine, pages::PageStyle::kLetter);
  const size_t logged = SenderLog().size();
  ProgramRun run(Send(Sender("off"), "fax2", sent));
  ASSERT_TRUE(run.WaitForOutput("Sending page 1")) << run.out();
  ::kill(run.pid(), SIGINT);
  EXPECT_EQ(run.Wait(), 6) << run.out() << run.err();
  // The receiver heard the call end, with no page complete.
  json faxes;
  WaitFor([&] { return !(faxes = Inbox()).empty(); }, std::chrono::seconds(20));
  for (const auto& fax : faxes) EXPECT_FALSE(fax["complete"].get<bool>()) << fax.dump();
  EXPECT_NE(SenderLog().substr(logged).find("call ended: status 4 (cancelled)"), std::string::npos);
}

TEST_F(SipCalls, WithTheRegistrarDownASendFailsAsALineFailureNamingTheAccount) {
  ASSERT_EQ(SipNet("stop"), 0);
  const std::string sent = MakeFaxTiff(ScratchPath("sip-down.tif"), 1, PageResolution::kFine, pages::PageStyle::kLetter);
  const auto run = RunToEnd(Send(Sender("on"), "fax2", sent));
  EXPECT_EQ(run.exit, 5) << run.out << run.err;
  EXPECT_NE((run.err + SenderLog()).find("sender"), std::string::npos) << run.err;
  EXPECT_EQ(run.out.find("Sent "), std::string::npos) << run.out;
  ASSERT_EQ(SipNet("start"), 0);
}

// baresip (its own SIP stack, libre) as fax3: it answers at once and plays a tone.
TEST_F(SipCalls, APhoneThatAnswersIsNoFaxMachineAndWeHangUpOnIt) {
  ASSERT_EQ(SipNet("phone"), 0);
  const std::string sent = MakeFaxTiff(ScratchPath("sip-phone.tif"), 1, PageResolution::kFine, pages::PageStyle::kLetter);
  const size_t logged = SenderLog().size();  // what the suite's earlier calls wrote
  const auto run = RunToEnd(Send(Sender("on"), "fax3", sent));
  EXPECT_EQ(run.exit, 3) << run.out << run.err;
  EXPECT_NE(run.err.find("after 0 of 1 pages"), std::string::npos) << run.err;
  const std::string log = SenderLog().substr(logged);
  EXPECT_NE(log.find("media: G.711 PCMA"), std::string::npos) << log;
  EXPECT_EQ(log.find("the far end hung up"), std::string::npos) << "our BYE ended it, not the phone's\n" << log;
  EXPECT_TRUE(WaitFor([] { return Phone().find("Call with sip:fax1@qvfax.test terminated") != std::string::npos; },
                      std::chrono::seconds(10)))
      << Phone();
  EXPECT_EQ(SipNet("phone-stop"), 0);
}

TEST_F(SipCalls, APhoneThatCallsIsAnsweredAndHungUpOnWhenNoFaxComes) {
  StartReceiver("on");
  ASSERT_EQ(SipNet("phone sip:fax2@qvfax.test"), 0);
  ASSERT_TRUE(WaitFor([&] { return ReceiverLog().find("Call ended") != std::string::npos; }, std::chrono::seconds(90)))
      << ReceiverLog();
  EXPECT_NE(ReceiverLog().find("call from fax3 to fax2"), std::string::npos) << ReceiverLog();
  EXPECT_NE(ReceiverLog().find("Call ended: status 38"), std::string::npos) << ReceiverLog();
  EXPECT_TRUE(WaitFor([] { return Phone().find("terminated") != std::string::npos; }, std::chrono::seconds(10)))
      << Phone();
  for (const auto& fax : Inbox()) EXPECT_EQ(fax["pages"], 0) << fax.dump();
  EXPECT_EQ(SipNet("phone-stop"), 0);
}

}  // namespace
}  // namespace qvfax::testing
