// The Class 1 driver against a scripted modem on a pty: the order of
// commands and frames, DLE shielding, a missed CFR, a far end that goes
// quiet, an abort and a vanished modem. Time is the driver's own, stepped here.
#include <algorithm>

#include <gtest/gtest.h>

#include "engines/modem/class1_call.h"
#include "scripted_modem.h"
#include "tiff_maker.h"

namespace qvfax::modem {
namespace {

using testing::kCfr;
using testing::kDis;
using testing::kMcf;
using testing::Received;
using testing::ScriptedModem;

class Class1 : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string detail;
    ASSERT_EQ(port.Open(modem.Device(), {115200, false, qvfax::testing::ScratchPath("")}, detail),
              SerialPort::OpenResult::kOpened)
        << detail;
    setup.number = "5550100";
    setup.local_id = "QVFAX TEST";
    setup.document = qvfax::testing::MakeFaxTiff(qvfax::testing::ScratchPath("class1.tif"), 1);
    setup.dial_timeout_ms = 10000;
    setup.command_timeout_ms = 2000;
  }

  // Runs the call in 10 ms slices until it finishes or `limit_ms` passes;
  // `during` runs after each slice.
  void Run(int limit_ms = 120000, const std::function<void(int ms)>& during = {}) {
    call = std::make_unique<Class1Call>(port, setup);
    call->Start();
    for (int ms = 0; ms < limit_ms && !call->Finished(); ms += 10) {
      modem.Pump();
      for (auto& e : call->Poll(10)) events.push_back(e);
      modem.Pump();
      if (during) during(ms);
    }
    modem.Pump();
    ASSERT_TRUE(call->Finished()) << "the call did not end";
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
  EXPECT_EQ(Status(), GetParam().status) << ::testing::PrintToString(call->Trace());
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

}  // namespace
}  // namespace qvfax::modem
