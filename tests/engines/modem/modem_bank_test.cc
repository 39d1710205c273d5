// The modem engine through the server object, against a scripted modem on a
// pty: detection, the port's lock, ports that cannot be used, and a fax sent
// with its events in the order the server relies on.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "engines/core/termination_status.h"
#include "engines/modem/modem_bank.h"
#include "queue/outcome.h"
#include "scripted_modem.h"
#include "server_fixture.h"
#include "tiff_maker.h"

namespace qvfax::modem {
namespace {

namespace fs = std::filesystem;
using testing::kCfr;
using testing::kMcf;
using testing::kRtn;
using testing::Received;
using testing::ScriptedModem;

ModemPort PortOn(const std::string& name, const std::string& device) {
  ModemPort port;
  port.name = name;
  port.device = device;
  port.hardware_flow = false;  // a pty has no RTS/CTS
  port.dial_tone = DialToneCheck::kNone;
  return port;
}

class ModemEngine : public ::testing::Test {
 protected:
  void Register(const std::string& device, const std::function<void(ModemPort&)>& configure = {}) {
    ModemConfig config;
    config.ports.push_back(PortOn("modem0", device));
    if (configure) configure(config.ports.back());
    config.lock_folder = locks;
    config.spool = qvfax::testing::ScratchPath("modem-spool");
    config.command_timeout_ms = 500;
    config.dial_timeout_ms = 10000;
    RegisterModemEngine(*f.apartment.context.registry, config,
                        [this](std::shared_ptr<ModemBank> b) { bank = std::move(b); });
    server = &f.CreateWithSink();
    server->TestDialTone(true);
  }

  // The probe waits for answers: the modem answers from a thread of its own meanwhile.
  void WithModemAnswering(const std::function<void()>& work) {
    std::atomic<bool> done{false};
    modem.threaded = true;
    std::thread answering([&] {
      while (!done) modem.Pump();
    });
    work();
    done = true;
    answering.join();
    modem.threaded = false;
  }

  void DetectAndOpen() {
    WithModemAnswering([&] {
      server->RilevaModem();
      f.apartment.clock->Advance(250);
      server->SelezionaFaxModem();
      server->ApriPorta();
      f.apartment.clock->Advance(250);
    });
  }

  std::string LockFile() const { return UucpLock::PathFor(locks, modem.Device()); }

  std::string locks = [] {
    const auto dir = qvfax::testing::ScratchPath("locks");
    fs::create_directories(dir);
    return dir;
  }();
  ScriptedModem modem;
  qvfax::testing::ServerFixture f;
  QvVavUvaRazUr* server = nullptr;
  std::shared_ptr<ModemBank> bank;
};

TEST_F(ModemEngine, DetectsOpensAndLocksThePortThenReleasesIt) {
  Register(modem.Device());
  DetectAndOpen();
  ASSERT_EQ(server->InfoModems()->Count(), 1);
  EXPECT_EQ(server->InfoFaxModem()->IdentificativoModem(), "QV TEST MODEMS");
  EXPECT_EQ(server->InfoFaxModem()->ClassiFax(), 3) << "class 1 and 1.0";
  EXPECT_EQ(server->PortStatus()->Codice(), 0);
  std::ifstream lock(LockFile());
  std::string text((std::istreambuf_iterator<char>(lock)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, fmt::format("{:>10}\n", ::getpid())) << "the PID as mgetty, HylaFAX and efax write it";
  server->ChiudiPorta();
  f.apartment.clock->Advance(250);
  EXPECT_FALSE(fs::exists(LockFile()));
}

struct LockCase {
  const char* name;
  pid_t owner;  // 0: our parent, alive
  int32_t error;
};

class Locks : public ModemEngine, public ::testing::WithParamInterface<LockCase> {};

TEST_P(Locks, ALivingOwnerKeepsThePortAStaleLockIsTakenOver) {
  const pid_t owner = GetParam().owner ? GetParam().owner : ::getppid();
  std::ofstream(LockFile()) << fmt::format("{:>10}\n", owner);
  Register(modem.Device());
  int32_t test_modem = 0, open_port = 0;
  WithModemAnswering([&] {
    test_modem = bank->TestModem("modem0");
    open_port = bank->OpenPort("modem0");
  });
  EXPECT_EQ(test_modem, GetParam().error);
  EXPECT_EQ(open_port, GetParam().error);
  if (GetParam().error != 0) {
    EXPECT_EQ(bank->GetPortStatus("modem0"), -1);
    ASSERT_FALSE(bank->Log().Recent().empty());
    EXPECT_NE(bank->Log().Recent().back().find(fmt::format("in use by process {}", owner)), std::string::npos)
        << bank->Log().Recent().back();
    // The user is told who holds it, through the line's status text.
    const std::string said = bank->GetStatusText();
    EXPECT_EQ(said.find(fmt::format("{} is in use by process {}", modem.Device(), owner)), 0u) << said;
  } else {
    EXPECT_EQ(bank->GetPortStatus("modem0"), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(ModemEngine, Locks,
                         ::testing::Values(LockCase{"living", 0, -153}, LockCase{"stale", 999999, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ModemEngine, PortsThatCannotBeUsedGiveTheControlsCodes) {
  struct Row {
    std::function<void(ScriptedModem&)> arrange;
    std::string device;
    int32_t test_modem;
  };
  const Row rows[] = {
      {[](ScriptedModem&) {}, "/dev/qvfax-no-such-tty", -152},
      {[](ScriptedModem& m) { m.silent = true; }, "", -167},
  };
  for (const auto& row : rows) {
    ScriptedModem local;
    row.arrange(local);
    ModemConfig config;
    config.ports.push_back(PortOn("p", row.device.empty() ? local.Device() : row.device));
    config.lock_folder = locks;
    config.command_timeout_ms = 100;
    ModemBank direct(config, f.apartment.clock);
    int32_t result = 0;
    std::atomic<bool> done{false};
    local.threaded = true;
    std::thread answering([&] {
      while (!done) local.Pump();
    });
    result = direct.TestModem("p");
    done = true;
    answering.join();
    EXPECT_EQ(result, row.test_modem) << row.device;
    EXPECT_EQ(direct.ModemClasses(), "");
    EXPECT_FALSE(fs::exists(UucpLock::PathFor(locks, config.ports[0].device))) << "the lock is released";
    EXPECT_EQ(direct.TestModem("nameless"), -152);
  }
}

class ModemSend : public ModemEngine {
 protected:
  // Sends `pages` pages and steps the clock, answering as the far machine, until the fax has ended.
  void Send(int pages, const std::function<void(ModemPort&)>& configure = {}) {
    Register(modem.Device(), configure);
    DetectAndOpen();
    ASSERT_EQ(server->PortStatus()->Codice(), 0);
    server->NumeroFax("5550100");
    server->FilesTif(qvfax::testing::MakeFaxTiff(qvfax::testing::ScratchPath("modem-send.tif"), pages));
    server->Invia();
    for (int ms = 0; ms < 600000 && (ms < 100 || server->Attivita()->Codice() != 0); ms += 10) {
      f.apartment.clock->Advance(10);
      modem.Pump();
    }
    ASSERT_EQ(server->Attivita()->Codice(), 0) << "the fax did not end";
  }

  // Starts a fax of two pages the far machine confirms and steps the clock
  // until the first page's data begins; false when it never does.
  bool StartTwoPagesUntilThePageBegins() {
    modem.on_frh = [&](int n) { return Received(n == 0 ? kCfr : kMcf); };
    Register(modem.Device());
    DetectAndOpen();
    server->NumeroFax("5550100");
    server->FilesTif(qvfax::testing::MakeFaxTiff(qvfax::testing::ScratchPath("modem-mid-page.tif"), 2));
    server->Invia();
    for (int ms = 0; ms < 120000 && modem.Count("AT+FTM=146") == 0; ms += 10) {
      f.apartment.clock->Advance(10);
      modem.Pump();
    }
    return modem.Count("AT+FTM=146") == 1;
  }
};

TEST_F(ModemSend, TwoPagesWithTheEventsInOrder) {
  modem.on_frh = [&](int n) { return Received(n == 0 ? kCfr : kMcf); };
  Send(2);
  EXPECT_EQ(server->TRMStatus()->Codice(), 0);
  EXPECT_EQ(server->PagineTrasmesse(), 2);
  EXPECT_EQ(server->Avanzamento()->Baud(), "14400");
  const std::string log = server->TestoLog();
  size_t at = 0;
  for (const char* step : {"Dialing on port", "Connected to '", "Starting to send on port", "Ending page 1",
                           "Ending page 2", "Sending finished to", "Transmission terminated on port"}) {
    const size_t found = log.find(step, at);
    EXPECT_NE(found, std::string::npos) << step << " in order, in:\n" << log;
    if (found != std::string::npos) at = found + 1;
  }
  EXPECT_EQ(modem.Count("frame 4f"), 1) << "MPS after page 1";
  EXPECT_EQ(modem.Count("frame 2f"), 1) << "EOP after page 2";
}

TEST_F(ModemSend, APortsOwnCommandsAndDiallingAreUsedInOrder) {
  modem.on_frh = [&](int n) { return Received(n == 0 ? kCfr : kMcf); };
  Send(1, [](ModemPort& port) {
    port.reset = "ATZ";
    port.init = {"AT&F", "ATS7=60"};
    port.dial_prefix = "0,";
    port.tone = false;
    port.speaker = "M0";
  });
  EXPECT_EQ(server->TRMStatus()->Codice(), 0) << server->TestoLog();
  const auto& seen = modem.Seen();
  const std::vector<std::string> opening(seen.begin(), seen.begin() + 3);
  EXPECT_EQ(opening, (std::vector<std::string>{"ATZ", "AT&F", "ATS7=60"})) << "reset, then init, as the port opens";
  const auto dial = std::find_if(seen.begin(), seen.end(), [](const std::string& s) { return s.find("DP") != std::string::npos; });
  ASSERT_NE(dial, seen.end());
  EXPECT_EQ(dial->substr(0, 4), "ATM0") << "the speaker as configured";
  EXPECT_EQ(dial->substr(dial->find('D')), "DP0,5550100") << "pulse, the outside line and its pause, the number";
  const std::vector<std::string> before_call(dial - 3, dial);
  EXPECT_EQ(before_call, (std::vector<std::string>{"AT&F", "ATS7=60", "AT+FCLASS=1"})) << "init again before the call";
}

TEST_F(ModemEngine, AnInitCommandTheModemRefusesKeepsThePortClosedAndSaysWhich) {
  modem.silent = false;
  Register(modem.Device(), [](ModemPort& port) { port.init = {"AT+FAKE"}; });
  int32_t opened = 0;
  modem.fail_command = "AT+FAKE";
  WithModemAnswering([&] { opened = bank->OpenPort("modem0"); });
  EXPECT_EQ(opened, -153);
  EXPECT_NE(std::string(bank->GetStatusText()).find("refused AT+FAKE"), std::string::npos) << bank->GetStatusText();
  EXPECT_FALSE(fs::exists(LockFile()));
}

TEST_F(ModemSend, ALastPageTheRemoteKeepsRejectingIsNotDelivered) {
  // CFR after each training check, MCF after a page but the last, whose EOP always gets RTN.
  modem.on_frh = [&](int) {
    // What the driver sent before this AT+FRH=3.
    const auto& seen = modem.Seen();
    const std::string last = seen.size() < 2 ? "" : seen[seen.size() - 2];
    if (last == "frame 2f") return Received(kRtn);
    if (last == "frame 4f") return Received(kMcf);
    return Received(kCfr);
  };
  Send(3);
  EXPECT_GE(modem.Count("frame 2f"), 1);
  EXPECT_EQ(server->PagineTrasmesse(), 2) << "only confirmed pages count";
  EXPECT_NE(server->TRMStatus()->Codice(), 0) << server->TestoLog();
  EXPECT_EQ(queue::ExitForStatus(server->TRMStatus()->Codice()), queue::Exit::kLineFailure);
  EXPECT_EQ(server->TestoLog().find("Sending finished to"), std::string::npos);
}

TEST_F(ModemSend, AModemThatVanishesMidPageEndsTheFaxAtOnceAndFreesThePort) {
  ASSERT_TRUE(StartTwoPagesUntilThePageBegins()) << "the page began";
  modem.Vanish();
  int after = 0;
  for (; after < 10000 && server->Attivita()->Codice() != 0; after += 10) f.apartment.clock->Advance(10);
  EXPECT_LE(after, 2000) << "the fax ended within two seconds";
  EXPECT_EQ(server->TRMStatus()->Codice(), 53);
  EXPECT_EQ(server->PagineTrasmesse(), 0);
  EXPECT_FALSE(fs::exists(LockFile())) << "the lock went with the device";
  EXPECT_NE(std::string(bank->GetStatusText()).find("went away"), std::string::npos) << bank->GetStatusText();
  // The next fax on the port ends at once, saying why, and dials nothing.
  server->Invia();
  for (after = 0; after < 10000 && (after < 100 || server->Attivita()->Codice() != 0); after += 10) {
    f.apartment.clock->Advance(10);
  }
  EXPECT_LE(after, 2000);
  EXPECT_EQ(server->TRMStatus()->Codice(), 53);
}

TEST_F(ModemSend, ClosingThePortMidPageHangsUpOnceTheModemTakesCommands) {
  ASSERT_TRUE(StartTwoPagesUntilThePageBegins()) << "the page began";
  // As qvfaxd does when it stops: the port is closed with the call under way.
  WithModemAnswering([&] {
    server->ChiudiPorta();
    f.apartment.clock->Advance(250);
  });
  // A modem drops what it is sent while it still sends the page's data: the
  // hang-up counts only when it came after the data ended.
  const auto& seen = modem.Seen();
  const auto page_data = std::find_if(seen.rbegin(), seen.rend(), [](const std::string& s) { return s.rfind("data ", 0) == 0; });
  const auto hang_up = std::find(seen.rbegin(), seen.rend(), "ATH0");
  ASSERT_NE(hang_up, seen.rend()) << "the modem never heard ATH0";
  EXPECT_LT(hang_up - seen.rbegin(), page_data - seen.rbegin()) << "ATH0 after the data ended";
  EXPECT_EQ(server->TRMStatus()->Codice(), 4);
  EXPECT_FALSE(fs::exists(LockFile()));
}

TEST_F(ModemSend, AClassTwoModemIsRefusedWithTheUnsupportedClassStatus) {
  modem.classes = "0,1,2,2.0";  // detected and opened as 1; the send reads the classes again
  Register(modem.Device());
  DetectAndOpen();
  ASSERT_EQ(server->PortStatus()->Codice(), 0);
  modem.classes = "0,2,2.0";
  WithModemAnswering([&] { EXPECT_EQ(bank->TestModem("modem0"), 0); });
  EXPECT_EQ(bank->ModemClasses(), "2,2.0");
  server->NumeroFax("5550100");
  server->FilesTif(qvfax::testing::MakeFaxTiff(qvfax::testing::ScratchPath("modem-class2.tif"), 1));
  server->Invia();
  for (int ms = 0; ms < 5000 && (ms < 100 || server->Attivita()->Codice() != 0); ms += 10) {
    f.apartment.clock->Advance(10);
  }
  EXPECT_EQ(server->TRMStatus()->Codice(), 54) << server->TestoLog();
  for (const auto& seen : modem.Seen()) EXPECT_EQ(seen.find("5550100"), std::string::npos) << "nothing dialled";
  EXPECT_NE(bank->Log().Recent().back().find("class 1 only"), std::string::npos);
}

// A port that answers: what the modem says before ATA and a caller that
// hangs up as we answer, twice on one port.
struct CallerCase {
  const char* caller_id;  // the lines between the first and second RING
  const char* number;
  const char* name;
};

class ModemAnswer : public ModemEngine, public ::testing::WithParamInterface<CallerCase> {};

TEST_P(ModemAnswer, RingsAreCountedCallerIdKeptAndACallerGoneBeforeTrainingLeavesNoFax) {
  const CallerCase c = GetParam();
  Register(modem.Device(), [](ModemPort& p) { p.rings = 2; });
  DetectAndOpen();
  const std::string file = qvfax::testing::ScratchPath("answered.tif");
  std::vector<core::IncomingCall> rang;
  std::vector<core::Reception> ended;
  int32_t answering = -1;
  WithModemAnswering([&] {
    answering = bank->AnswerCalls("modem0", [&](const core::IncomingCall& from) -> std::optional<core::AnswerPlan> {
      rang.push_back(from);
      std::ofstream(file).put('\0');  // as the inbox reserves it
      return core::AnswerPlan{file, [&](const core::Reception& r) { ended.push_back(r); }};
    });
  });
  ASSERT_EQ(answering, 0);
  modem.answer_reply = "\r\nNO CARRIER\r\n";  // the caller hangs up as we answer
  auto run = [&](int ms) {
    for (int t = 0; t < ms; t += 10) {
      f.apartment.clock->Advance(10);
      modem.Pump();
    }
  };
  for (int call = 1; call <= 2; ++call) {
    modem.Say(std::string("\r\nRING\r\n") + c.caller_id);
    run(2000);
    EXPECT_EQ(modem.Count("ATA"), call - 1) << "answered after one ring of two";
    modem.Say("\r\nRING\r\n");
    run(3000);
    ASSERT_EQ(modem.Count("ATA"), call);
    ASSERT_EQ(ended.size(), static_cast<size_t>(call));
    EXPECT_EQ(ended.back().pages, 0);
    EXPECT_FALSE(ended.back().complete);
    EXPECT_EQ(ended.back().status, core::TermStatusFor(core::LineResult::kNoCarrier));
    EXPECT_FALSE(fs::exists(file)) << "a call that brought no page leaves no file";
  }
  ASSERT_EQ(rang.size(), 2u);
  EXPECT_EQ(rang[0].caller_number, c.number);
  EXPECT_EQ(rang[0].caller_name, c.name);
  // Before the first call: no answering by the modem itself, caller ID on;
  // then class 1 before each ATA.
  const auto& seen = modem.Seen();
  auto at = seen.begin();
  for (const char* step : {"ATS0=0", "AT+VCID=1", "AT+FCLASS=1", "ATA", "ATH0"}) {
    at = std::find(at, seen.end(), step);
    EXPECT_NE(at, seen.end()) << step << " in order";
  }
  // A ring alone, then none for longer than rings are apart: that caller gave up.
  modem.Say("\r\nRING\r\n");
  run(11000);
  modem.Say("\r\nRING\r\n");
  run(2000);
  EXPECT_EQ(modem.Count("ATA"), 2) << "two rings of two callers are not one call";
  server->ChiudiPorta();
  f.apartment.clock->Advance(250);
  EXPECT_FALSE(fs::exists(LockFile())) << "closing the port ends the waiting";
}

INSTANTIATE_TEST_SUITE_P(
    CallerId, ModemAnswer,
    ::testing::Values(CallerCase{"\r\nDATE = 1208\r\nTIME = 0610\r\nNMBR = 5551234\r\nNAME = ACME LTD\r\n",
                                 "5551234", "ACME LTD"},
                      CallerCase{"", "", ""}, CallerCase{"\r\nNMBR = P\r\n", "", ""}),
    [](const auto& info) { return std::to_string(info.index); });

}  // namespace
}  // namespace qvfax::modem
