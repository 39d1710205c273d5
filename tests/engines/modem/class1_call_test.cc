// The Class 1 driver against a scripted modem on a pty: the order of
// commands and frames, DLE shielding, a missed CFR, a far end that goes
// quiet, an abort and a vanished modem. Time is the driver's own, stepped here.
#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

#include "engines/modem/class1_call.h"
#include "engines/pages/tiff_pages.h"
#include "scripted_modem.h"
#include "tiff_maker.h"
#include "values/enums.h"

namespace qvfax::modem {
namespace {

using testing::kCfr;
using testing::kDcn;
using testing::kDcs;
using testing::kDis;
using testing::kEop;
using testing::kMcf;
using testing::kMps;
using testing::Received;
using testing::ReceivedData;
using testing::ScriptedModem;

// Runs a call on `port` against `modem` in slices of the driver's own time
// until it finishes or `limit_ms` passes; `during` runs after each slice.
void RunCall(ScriptedModem& modem, SerialPort& port, const Class1Setup& setup, std::unique_ptr<Class1Call>& call,
             std::vector<Class1Event>& events, int limit_ms = 120000,
             const std::function<void(int ms)>& during = {}, int slice_ms = 10) {
  call = std::make_unique<Class1Call>(port, setup);
  call->Start();
  for (int ms = 0; ms < limit_ms && !call->Finished(); ms += slice_ms) {
    modem.Pump();
    for (auto& e : call->Poll(slice_ms)) events.push_back(e);
    modem.Pump();
    if (during) during(ms);
  }
  modem.Pump();
}

void OpenPort(SerialPort& port, const ScriptedModem& modem) {
  std::string detail;
  ASSERT_EQ(port.Open(modem.Device(), {115200, false, qvfax::testing::ScratchPath("")}, detail),
            SerialPort::OpenResult::kOpened)
      << detail;
}

class Class1 : public ::testing::Test {
 protected:
  void SetUp() override {
    OpenPort(port, modem);
    setup.number = "5550100";
    setup.local_id = "QVFAX TEST";
    setup.document = qvfax::testing::MakeFaxTiff(qvfax::testing::ScratchPath("class1.tif"), 1);
    setup.dial_timeout_ms = 10000;
    setup.command_timeout_ms = 2000;
  }

  void Run(int limit_ms = 120000, const std::function<void(int ms)>& during = {}, int slice_ms = 10) {
    RunCall(modem, port, setup, call, events, limit_ms, during, slice_ms);
    ASSERT_TRUE(call->Finished()) << "the call did not end";
  }

  // The driver's whole trace, one line each, for a failure's message.
  std::string TraceText() const {
    std::string text;
    for (const auto& line : call->Trace()) text += line + "\n";
    return text;
  }

  int32_t Status() const {
    for (const auto& e : events) {
      if (e.kind == Class1Event::kFinished) return e.status;
    }
    return -1;
  }
  // The engine's own words for how the call ended.
  std::string Detail() const {
    for (const auto& e : events) {
      if (e.kind == Class1Event::kFinished) return e.detail;
    }
    return "";
  }

  ScriptedModem modem;
  SerialPort port;
  Class1Setup setup;
  std::unique_ptr<Class1Call> call;
  std::vector<Class1Event> events;
};

TEST_F(Class1, AOnePageFaxKeepsTheOrderOfT30) {
  modem.on_frh = [&](int n) { return Received(n == 0 ? kCfr : kMcf); };
  Run();
  EXPECT_EQ(Status(), 0);
  const std::vector<std::string> expected = {
      "AT+FCLASS=1", "ATM1L1DT5550100",
      "AT+FRS=7", "AT+FTH=3", "frame 43", "frame 83",   // TSI, DCS after the DIS
      "AT+FTS=8", "AT+FTM=145",                         // the training check, long train
  };
  ASSERT_GE(modem.Seen().size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(modem.Seen().begin(), modem.Seen().begin() + expected.size()), expected);
  const std::vector<std::string> tail = {
      "AT+FRH=3", "AT+FTS=8", "AT+FTM=146",             // CFR heard; the page, short train
  };
  auto at = std::find(modem.Seen().begin(), modem.Seen().end(), "AT+FRH=3");
  ASSERT_NE(at, modem.Seen().end());
  EXPECT_EQ(std::vector<std::string>(at, at + 3), tail);
  EXPECT_EQ(modem.Count("frame 2f"), 1) << "EOP once";
  EXPECT_EQ(modem.Count("frame fb"), 1) << "DCN once";
  EXPECT_EQ(modem.Seen().back(), "ATH0");
  EXPECT_FALSE(modem.BadShielding());
  // 1.5 s of zeros at 14400 bit/s is the training check.
  EXPECT_EQ(modem.Seen()[8], "data 2700");
  std::vector<Class1Event::Kind> kinds;
  for (const auto& e : events) kinds.push_back(e.kind);
  EXPECT_EQ(kinds, (std::vector<Class1Event::Kind>{Class1Event::kDialing, Class1Event::kConnected,
                                                   Class1Event::kPage, Class1Event::kFinished}));
  EXPECT_EQ(call->BitRate(), 14400);
}

TEST_F(Class1, AMissedCfrRetrainsAndTheFaxStillGoesThrough) {
  // The first confirmation is lost: nothing is heard until the DCS comes again.
  modem.on_frh = [&](int) {
    if (modem.Count("frame 83") < 2) return std::string();
    return Received(modem.Count("AT+FTM=146") == 0 ? kCfr : kMcf);
  };
  Run();
  EXPECT_EQ(Status(), 0);
  EXPECT_EQ(modem.Count("frame 83"), 2) << "DCS sent again";
  EXPECT_EQ(modem.Count("AT+FTM=145"), 2) << "trained again";
  EXPECT_GE(modem.Count("<CAN>"), 1) << "the waiting receive was stopped to talk";
}

TEST_F(Class1, AFarEndThatGoesQuietAfterThePageEndsInPhaseD) {
  modem.on_frh = [&](int n) { return n == 0 ? Received(kCfr) : std::string("\r\nNO CARRIER\r\n"); };
  Run(300000);
  EXPECT_EQ(Status(), 29) << "no answer to the end of page";
  EXPECT_EQ(modem.Count("frame 2f"), 3) << "EOP tried three times";
  EXPECT_EQ(modem.Seen().back(), "ATH0");
}

struct DialCase {
  const char* reply;
  int32_t status;
  const char* detail = nullptr;  // when the engine's own words matter
};

class Dialling : public Class1, public ::testing::WithParamInterface<DialCase> {};

TEST_P(Dialling, TheModemsAnswerToTheDialIsTheStatus) {
  modem.dial_reply = GetParam().reply;
  Run();
  EXPECT_EQ(Status(), GetParam().status) << TraceText();
  if (GetParam().detail) {
    EXPECT_EQ(Detail(), GetParam().detail);
  }
  EXPECT_EQ(modem.Count("AT+FTH"), 0);
}

INSTANTIATE_TEST_SUITE_P(Class1, Dialling,
                         ::testing::Values(DialCase{"\r\nBUSY\r\n", 6}, DialCase{"\r\nNO ANSWER\r\n", 9},
                                           DialCase{"\r\nNO DIALTONE\r\n", 10}, DialCase{"\r\nNO CARRIER\r\n", 5},
                                           DialCase{"\r\nERROR\r\n", 130, "the modem refused the dial: ERROR"}, DialCase{"", 9},
                                           // answered, then silence: T.30's T1, not a silent modem
                                           DialCase{"\r\nCONNECT\r\n", 38}));

TEST_F(Class1, AnAbortDuringThePageEndsTheDataAndHangsUp) {
  modem.on_frh = [&](int) { return Received(kCfr); };
  bool aborted = false;
  Run(120000, [&](int) {
    if (!aborted && modem.Count("AT+FTM=146") == 1) {
      call->Abort();
      aborted = true;
    }
  });
  EXPECT_EQ(Status(), 4);
  EXPECT_EQ(modem.Seen().back(), "ATH0");
  EXPECT_EQ(modem.Count("frame 2f"), 0) << "no end of page after an abort";
}

TEST_F(Class1, AModemThatStopsAnsweringEndsTheCall) {
  modem.silent = true;
  Run();
  EXPECT_EQ(Status(), 53);
}

TEST_F(Class1, AModemThatVanishesEndsTheCall) {
  modem.on_frh = [&](int) { return Received(kCfr); };
  Run(120000, [&](int) {
    if (modem.Count("AT+FTM=145") == 1) modem.Vanish();
  });
  EXPECT_EQ(Status(), 53);
}

// Answering a call: the far end is scripted, its page the data our own
// sender made of a test page (MH, so the DCS may say 1D).
class Class1Receive : public Class1 {
 protected:
  static void SetUpTestSuite() {
    ScriptedModem sender_modem;
    SerialPort sender_port;
    OpenPort(sender_port, sender_modem);
    Class1Setup sending;
    sending.number = "5550100";
    sending.document = qvfax::testing::MakeFaxTiff(qvfax::testing::ScratchPath("class1-page.tif"), 1);
    sending.t4_2d = false;
    sender_modem.on_frh = [&](int n) { return Received(n == 0 ? kCfr : kMcf); };
    std::unique_ptr<Class1Call> call;
    std::vector<Class1Event> events;
    RunCall(sender_modem, sender_port, sending, call, events);
    if (sender_modem.DataSent().size() == 2) {
      tcf = sender_modem.DataSent()[0];
      page = sender_modem.DataSent()[1];
    }
  }

  void SetUp() override {
    Class1::SetUp();
    ASSERT_FALSE(page.empty()) << "our sender made no page to receive";
    setup.answering = true;
    setup.received = qvfax::testing::ScratchPath("class1-received.tif");
    std::filesystem::remove(setup.received);
  }

  // The page with its middle half of rows spoilt, as a noisy line leaves
  // them: in each, one 0 bit after the EOL turned to 1 (which can make no
  // false EOL). The data goes least significant bit first.
  std::string Spoilt() const {
    std::string bad = page;
    auto bit = [&](size_t i) { return (static_cast<uint8_t>(bad[i / 8]) >> (i % 8)) & 1; };
    std::vector<size_t> rows;  // where each row's codes begin
    int zeros = 0;
    for (size_t i = 0; i < bad.size() * 8; ++i) {
      if (bit(i) == 0) {
        ++zeros;
        continue;
      }
      if (zeros >= 11) rows.push_back(i + 1);
      zeros = 0;
    }
    for (size_t r = rows.size() / 4; r < rows.size() * 3 / 4; ++r) {
      size_t i = rows[r] + 1;
      while (i < bad.size() * 8 && bit(i)) ++i;
      if (i < bad.size() * 8) bad[i / 8] = static_cast<char>(bad[i / 8] | (1 << (i % 8)));
    }
    return bad;
  }

  static inline std::string tcf, page;
};

TEST_F(Class1Receive, ASpoiltPageIsRefusedWithRtnAndTheGoodOneAfterItKept) {
  // DCS, training, spoilt page, MPS: RTN. Again: DCS, training, good page, EOP: MCF. Then DCN.
  modem.on_frh = [&](int n) { return Received(n == 0 || n == 2 ? kDcs : n == 1 ? kMps : n == 3 ? kEop : kDcn); };
  // After RTN it listens for a page first, and hears the sender's V.21 instead.
  const std::vector<std::string> frm = {ReceivedData(tcf), ReceivedData(Spoilt()), "\r\n+FCERROR\r\n",
                                        ReceivedData(tcf), ReceivedData(page)};
  modem.on_frm = [&](int n) { return n < static_cast<int>(frm.size()) ? frm[n] : std::string(); };
  Run();
  EXPECT_EQ(Status(), 0) << TraceText();
  EXPECT_EQ(modem.Count("frame 4c"), 1) << "RTN for the spoilt page";
  EXPECT_EQ(modem.Count("frame 8c"), 1) << "MCF for the good one";
  EXPECT_EQ(call->Pages(), 1);
  EXPECT_EQ(pages::CountPages(setup.received), 1);
}

// The caller goes away with no DCN: the call ends, with what was confirmed.
struct GoneCase {
  const char* name;
  std::function<std::string(int frm, const std::string& tcf, const std::string& page)> frm;
  int pages;  // confirmed before the caller went
  int32_t status;
  const char* detail;
};

class CallerGone : public Class1Receive, public ::testing::WithParamInterface<GoneCase> {};

TEST_P(CallerGone, TheCallEndsAsDroppedWithThePagesConfirmed) {
  // DCS, then after each page MPS: one more page is always coming.
  modem.on_frh = [&](int n) { return Received(n == 0 ? kDcs : kMps); };
  modem.on_frm = [&](int n) { return GetParam().frm(n, tcf, page); };
  Run(120000, {}, 50);
  EXPECT_EQ(Status(), GetParam().status) << TraceText();
  EXPECT_EQ(Detail(), GetParam().detail);
  EXPECT_EQ(call->Pages(), GetParam().pages);
  EXPECT_EQ(std::max(pages::CountPages(setup.received), 0), GetParam().pages) << "the file holds what was confirmed";
  EXPECT_EQ(modem.Seen().back(), "ATH0");
}

INSTANTIATE_TEST_SUITE_P(
    Class1, CallerGone,
    ::testing::Values(
        // Page 2 stops in the middle: its carrier never ends.
        GoneCase{"MidPage",
                 [](int n, const std::string& tcf, const std::string& page) {
                   if (n == 0) return ReceivedData(tcf);
                   if (n == 1) return ReceivedData(page);
                   return std::string("\r\nCONNECT\r\n") + page.substr(0, page.size() / 2);
                 },
                 1, qbfaxvmstrms_NOCARRIERRX, "the far end went silent"},
        // After page 1, no carrier at all.
        GoneCase{"BetweenPages",
                 [](int n, const std::string& tcf, const std::string& page) {
                   return n == 0 ? ReceivedData(tcf) : n == 1 ? ReceivedData(page) : std::string();
                 },
                 1, qbfaxvmstrms_T2_TIMEOUT, "Timer T2 expired while waiting for fax page"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Class1Receive, ADcnInsteadOfTheNextPageKeepsThePagesConfirmed) {
  // One page with MPS (more to come); then V.21 where page 2 should be: the DCN.
  modem.on_frh = [&](int n) { return Received(n == 0 ? kDcs : n == 1 ? kMps : kDcn); };
  modem.on_frm = [&](int n) {
    return n == 0 ? ReceivedData(tcf) : n == 1 ? ReceivedData(page) : std::string("\r\n+FCERROR\r\n");
  };
  Run();
  EXPECT_EQ(Status(), qbfaxvmstrms_DCNDATARX) << "a document broken off is not complete";
  EXPECT_EQ(call->Pages(), 1);
  EXPECT_EQ(pages::CountPages(setup.received), 1);
  EXPECT_EQ(modem.Seen().back(), "ATH0");
}

}  // namespace
}  // namespace qvfax::modem
