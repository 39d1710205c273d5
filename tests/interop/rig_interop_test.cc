// qvfax against fax programs nobody here wrote: the real server object and
// the modem engine send through a soft modem of the rig (scripts/rig) to efax
// or HylaFAX's faxgetty answering on the other one. Real time: each fine page
// takes about half a minute, each call about fifteen seconds more.
#include <poll.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "cli/fax_session.h"
#include "engines/modem/modem_bank.h"
#include "engines/pages/tiff_pages.h"
#include "page_compare.h"
#include "rig_waits.h"
#include "queue/outcome.h"
#include "rpc/in_process.h"
#include "tiff_maker.h"

namespace qvfax {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kHeaderRows = 40;  // our header, drawn at the top of each page
constexpr const char* kPort = "ttyQVa";

using testing::RigDir;
using testing::WaitFor;

bool RigUp() { return fs::exists(RigDir() / "modem.json") && fs::exists("/dev/ttyQVa"); }

void UseReceiver(const std::string& which) {
  const std::string command = std::string("bash " QVFAX_SOURCE_DIR "/scripts/rig receiver ") + which;
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

struct Outcome {
  int32_t status = -1;      // TRMStatus
  int32_t error = 0;        // Errore
  int32_t pages = 0;        // PagineTrasmesse
  int32_t activity = -1;    // after the port was closed
  std::string remote;
  double call_seconds = 0;  // Invia to the end of the send
  int trainings = 0;        // DCS frames sent: 1 when the line trained the first time
};

// The DCS frames of the last call in the modem engine's log.
int TrainingsInLastCall() {
  std::ifstream log(fs::path(std::getenv("XDG_STATE_HOME")) / "qvfax" / "qvfax-modem.log");
  int trainings = 0;
  for (std::string line; std::getline(log, line);) {
    if (line.find("SendNow ") != std::string::npos) trainings = 0;
    if (line.find("> frame") != std::string::npos && line.find("fcf 83") != std::string::npos) ++trainings;
  }
  return trainings;
}

class RigInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!RigUp()) {
      if (std::getenv("QVFAX_RIG_REQUIRED")) FAIL() << "the rig is not up: bash scripts/rig start";
      GTEST_SKIP() << "the rig is not up (bash scripts/rig start)";
    }
    config = modem::LoadModemConfig((RigDir() / "modem.json").string());
  }

  // Sends `file` to `number` through the rig; `cancel_after_s` > 0 cancels
  // that long into the first page, or does `instead` then when given.
  Outcome Send(const std::string& file, const std::string& number, int cancel_after_s = 0,
               const std::function<void()>& instead = {}) {
    Outcome out;
    rpc::Broker broker({[this](ComponentRegistry& r) { modem::RegisterModemEngine(r, config); }});
    rpc::Client client(rpc::ConnectInProcess(broker));
    cli::FaxSession session(client);
    const int64_t server = session.server();
    EXPECT_EQ(session.Detect(kPort).size(), 1u);
    session.Open(kPort);
    client.Let(server, "NumeroFax", number);
    client.Let(server, "FilesTif", file);
    client.Let(server, "IdLocale", "QVFAX INTEROP");
    const int64_t tx = client.GetObject(server, "Trasmissione");
    client.Let(client.GetObject(tx, "Risoluzione"), "Codice", 3);
    client.Let(client.GetObject(tx, "ECM"), "Codice", 3);
    const int64_t header = client.GetObject(server, "Intestazione");
    client.Let(header, "Attivata", true);
    client.Let(header, "Sinistra", "qvfax interop %c/%p");
    const int64_t progress = client.GetObject(server, "Avanzamento");
    session.send_ended = false;
    const auto started = Clock::now();
    client.Invoke(server, "Invia");
    std::optional<Clock::time_point> page_started;
    bool cancelled = false;
    while (!(session.send_ended && session.activity == 0)) {
      session.Serve(200);
      if (Clock::now() - started > std::chrono::minutes(8)) {
        ADD_FAILURE() << "the fax did not end";
        break;
      }
      if (cancel_after_s == 0 || cancelled) continue;
      if (!page_started && client.Get(progress, "Status").get<std::string>() == "Sending page 1") {
        page_started = Clock::now();
      }
      if (page_started && Clock::now() - *page_started > std::chrono::seconds(cancel_after_s)) {
        if (instead) {
          instead();
        } else {
          client.Invoke(server, "AnnullaFax");
        }
        cancelled = true;
      }
    }
    out.call_seconds = std::chrono::duration<double>(Clock::now() - started).count();
    out.status = client.Get(client.GetObject(server, "TRMStatus"), "Codice").get<int32_t>();
    out.error = client.Get(client.GetObject(server, "Errore"), "Codice").get<int32_t>();
    out.pages = client.Get(server, "PagineTrasmesse").get<int32_t>();
    out.remote = client.Get(server, "IdRemoto").get<std::string>();
    session.Close();
    out.activity = session.activity;
    out.trainings = TrainingsInLastCall();
    return out;
  }

  static std::vector<testing::PageRef> EfaxPages(int expected) {
    const auto dir = RigDir() / "rx";
    auto page = [&](int p) { return dir / fmt::format("fax.{:03d}", p); };
    WaitFor([&] { return fs::exists(page(expected)); }, std::chrono::seconds(30));
    std::vector<testing::PageRef> pages;
    for (int p = 1; fs::exists(page(p)); ++p) pages.emplace_back(page(p).string(), 1);
    return pages;
  }

  bool LockHeld() const { return fs::exists(fs::path(config.lock_folder) / "LCK..ttyQVa"); }

  modem::ModemConfig config;
};

struct Case {
  const char* receiver;
  int pages;
};

class ToReceiver : public RigInterop, public ::testing::WithParamInterface<Case> {};

TEST_P(ToReceiver, FinePagesArriveAsSentBelowTheHeader) {
  const Case c = GetParam();
  UseReceiver(c.receiver);
  const std::string sent =
      testing::MakeFaxTiff(testing::ScratchPath(fmt::format("interop-{}-{}.tif", c.receiver, c.pages)), c.pages,
                           testing::PageResolution::kFine, pages::PageStyle::kLetter);
  const Outcome out = Send(sent, "5550100");
  std::cout << fmt::format("[ timing ] {} {} page(s): {:.1f} s from Invia to the end\n", c.receiver, c.pages,
                           out.call_seconds);
  EXPECT_EQ(out.error, 0);
  EXPECT_EQ(out.status, 0) << "termination status";
  EXPECT_EQ(out.pages, c.pages);
  EXPECT_EQ(out.trainings, 1) << "the line trains the first time";
  EXPECT_EQ(out.activity, 0);
  EXPECT_FALSE(LockHeld());
  if (std::string(c.receiver) == "efax") {
    EXPECT_EQ(out.remote, "EFAX RIG");
    testing::ExpectSamePages(sent, EfaxPages(c.pages), kHeaderRows);
  } else {
    EXPECT_EQ(out.remote, "HYLAFAX RIG");
    const std::string received = testing::NewestHylafaxFax(c.pages);
    ASSERT_FALSE(received.empty());
    testing::ExpectSamePages(sent, received, c.pages, kHeaderRows);
  }
}

INSTANTIATE_TEST_SUITE_P(Rig, ToReceiver,
                         ::testing::Values(Case{"efax", 1}, Case{"efax", 3}, Case{"hylafax", 1},
                                           Case{"hylafax", 3}),
                         [](const auto& info) {
                           return fmt::format("{}_{}pages", info.param.receiver, info.param.pages);
                         });

TEST_F(RigInterop, ACancelInTheMiddleOfAPageHangsUpWithTheCancelStatus) {
  UseReceiver("efax");
  const std::string sent = testing::MakeFaxTiff(testing::ScratchPath("interop-cancel.tif"), 2,
                                                testing::PageResolution::kFine, pages::PageStyle::kLetter);
  const Outcome out = Send(sent, "5550100", 8);
  EXPECT_EQ(out.status, 4) << "the cancel status";
  EXPECT_EQ(out.pages, 0);
  EXPECT_EQ(out.activity, 0);
  EXPECT_FALSE(LockHeld());
}

TEST_F(RigInterop, ASenderModemThatDiesMidPageEndsTheFaxAtOnceAndTheNextCallWorks) {
  UseReceiver("efax");
  const std::string sent = testing::MakeFaxTiff(testing::ScratchPath("interop-crash.tif"), 2,
                                                testing::PageResolution::kFine, pages::PageStyle::kLetter);
  Clock::time_point killed;
  const Outcome out = Send(sent, "5550100", 5, [&] {
    ASSERT_EQ(std::system("bash " QVFAX_SOURCE_DIR "/scripts/rig kill-sender"), 0);
    killed = Clock::now();
  });
  const double seconds = std::chrono::duration<double>(Clock::now() - killed).count();
  std::cout << fmt::format("[ timing ] the fax ended {:.1f} s after its modem died\n", seconds);
  EXPECT_LT(seconds, 5.0);
  EXPECT_EQ(out.status, 53);
  EXPECT_EQ(queue::ExitForStatus(out.status), queue::Exit::kModemFailure);
  EXPECT_EQ(out.pages, 0);
  EXPECT_EQ(out.activity, 0);
  EXPECT_FALSE(LockHeld());
  // A new line: both soft modems again, since the far one still holds the dead call.
  ASSERT_EQ(std::system("bash " QVFAX_SOURCE_DIR "/scripts/rig start efax"), 0);
  const std::string next = testing::MakeFaxTiff(testing::ScratchPath("interop-after-crash.tif"), 1,
                                                testing::PageResolution::kFine, pages::PageStyle::kLetter);
  const Outcome again = Send(next, "5550100");
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(again.pages, 1);
}

// Last of all: after a call nobody answered the soft modems need a while
// before they dial again.
class Unanswered : public RigInterop, public ::testing::WithParamInterface<const char*> {};

TEST_P(Unanswered, EndsWithNoAnswerAndReleasesThePort) {
  UseReceiver("none");
  config.dial_timeout_ms = 20000;
  const std::string sent =
      testing::MakeFaxTiff(testing::ScratchPath("interop-unanswered.tif"), 1, testing::PageResolution::kFine);
  const Outcome out = Send(sent, "5550199");
  EXPECT_TRUE(out.status == 9 || out.status == 5) << "no answer or no carrier, not " << out.status;
  EXPECT_EQ(queue::ExitForStatus(out.status), queue::Exit::kNoAnswer);
  EXPECT_EQ(out.pages, 0);
  EXPECT_EQ(out.activity, 0);
  EXPECT_FALSE(LockHeld());
}

INSTANTIATE_TEST_SUITE_P(RigLast, Unanswered, ::testing::Values("nobody"));

}  // namespace
}  // namespace qvfax
