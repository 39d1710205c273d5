#include <gtest/gtest.h>

#include "components/fax_control_events.h"
#include "server_fixture.h"

namespace qvfax {
namespace {

using testing::ServerFixture;

class FaxEvents : public ::testing::Test {
 protected:
  FaxEvents() {
    server = &f.CreateWithSink();
    f.fax->Script("GetPortStatus", 1);
    f.fax->Text("TermStatusText", "The remote station is busy");
  }
  FaxControlEvents& events() { return f.fax->Events(); }

  ServerFixture f;
  QvVavUvaRazUr* server = nullptr;
};

TEST_F(FaxEvents, EachStageIsLoggedAndRefreshesThePortStatus) {
  events().Dialing("ttyS0");
  events().Connected("ttyS0", "REMOTE 1");
  events().SendStarted("ttyS0");
  events().PageStarted("ttyS0", 1);
  events().PageEnded("ttyS0", 1);
  events().SendFinished("ttyS0", 99, "OTHER");
  events().RingDetected("ttyS0");
  EXPECT_EQ(server->TestoLog(),
            "Dialing on port ttyS0 ...\r\n"
            "Connected to 'REMOTE 1' on port ttyS0\r\n"
            "Starting to send on port ttyS0 ...\r\n"
            "Starting page 1 on port ttyS0 ...\r\n"
            "Ending page 1 on port ttyS0 ...\r\n"
            "Sending finished to 'OTHER' on port ttyS0\r\n"
            "Incoming ring detected on ttyS0 ...\r\n");
  EXPECT_EQ(server->IdRemoto(), "REMOTE 1") << "SendFinished leaves the remote id";
  EXPECT_EQ(f.fax->CallsTo("GetPortStatus").size(), 5u) << "Connected and RingDetected do not refresh";
  EXPECT_EQ(server->PortStatus()->Codice(), 1);
  EXPECT_EQ(server->OraDiInizioConnessione().LogText(), "05/12/2026 09.30.00");
}

TEST_F(FaxEvents, StatusChangedOnlyRefreshesThePortStatus) {
  f.fax->Script("GetPortStatus", 32);
  events().StatusChanged("ttyS0");
  EXPECT_EQ(server->PortStatus()->Codice(), 32);
  EXPECT_EQ(server->TestoLog(), "");
}

TEST_F(FaxEvents, AnIncomingCallIsAlwaysBrokenOff) {
  events().CallAnswered("ttyS1");
  EXPECT_EQ(f.fax->calls.back(), "AbortPort(ttyS1)");
  EXPECT_EQ(server->TestoLog(), "Answered incoming call on ttyS1\r\n");
}

TEST_F(FaxEvents, TerminationWithoutAConnectionEndsWhenTheCallStarted) {
  events().Dialing("ttyS0");
  f.apartment.clock->Advance(30'000);
  f.fax->Script("GetFaxParameter", 2);
  events().TransmissionTerminated("ttyS0", 6, 0, 0, "", "");
  EXPECT_EQ(server->OraDiFineConnessione(), server->OraDiInizioConnessione());
  EXPECT_EQ(server->TestoLog(),
            "Dialing on port ttyS0 ...\r\n"
            "Transmission terminated on port ttyS0\r\n"
            "Termination status (6) The remote station is busy on port ttyS0\r\n"
            "Connected for 0 milliseconds on port ttyS0\r\n"
            "Pages sent 0 on port ttyS0\r\n"
            "ECM Disattivato\r\n"
            "BFT Disattivato\r\n");
  EXPECT_EQ(server->TRMStatus()->Codice(), 6);
  EXPECT_EQ(f.fax->CallsTo("GetPortStatus").size(), 1u) << "termination does not refresh the port";
}

TEST_F(FaxEvents, TerminationAfterAConnectionRecordsItsTimePagesAndDigits) {
  events().Dialing("ttyS0");
  f.apartment.clock->Advance(90'000);
  f.fax->Queue("GetFaxParameter", 3);
  f.fax->Queue("GetFaxParameter", 2);
  events().TransmissionTerminated("ttyS0", 0, 4, 61'000, "123", "45#");
  EXPECT_EQ(server->OraDiFineConnessione().LogText(), "05/12/2026 09.31.30");
  EXPECT_EQ(server->PagineTrasmesse(), 4);
  const std::string& log = server->TestoLog();
  EXPECT_NE(log.find("ECM Attivato\r\nBFT Disattivato\r\nDID received on 123 on port ttyS0\r\n"
                     "DTMF received on 45# on port ttyS0\r\n"),
            std::string::npos);
  EXPECT_EQ(f.fax->CallsTo("GetFaxParameter"),
            (std::vector<std::string>{"GetFaxParameter(0, 2)", "GetFaxParameter(0, 3)"}));
}

}  // namespace
}  // namespace qvfax
