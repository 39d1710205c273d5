// Detect, select, open and close on the simulated bank's default, through the
// server object, on the manual clock.
#include <gtest/gtest.h>

#include "server_fixture.h"
#include "status/status_document.h"

namespace qvfax {
namespace {

TEST(SimBankThroughTheServer, DetectSelectOpenClose) {
  testing::ServerFixture f;
  f.UseSimulatedBank();
  auto& server = f.CreateWithSink();
  server.TestDialTone(true);
  auto root = [&] { return f.apartment.context.document->Root(); };

  server.RilevaModem();
  f.apartment.clock->Advance(250);
  ASSERT_EQ(server.InfoModems()->Count(), 1);
  EXPECT_EQ(server.InfoModems()->Item(0)->Porta(), "ttyS0");
  EXPECT_EQ(server.InfoModems()->Item(0)->ClassiFax(), 15);
  EXPECT_STREQ(root().child("InfoFaxModems").child("InfoFaxModem").child_value("Porta"), "ttyS0");

  server.SelezionaFaxModem();
  EXPECT_STREQ(root().child("InfoFaxModem").child_value("Porta"), "ttyS0");

  server.ApriPorta();
  f.apartment.clock->Advance(250);
  EXPECT_EQ(server.PortStatus()->Codice(), 0);
  EXPECT_STREQ(root().child("PortStatus").child_value("Descrizione"), "Nothing");
  EXPECT_EQ(server.Errore()->Codice(), 0);

  server.ChiudiPorta();
  f.apartment.clock->Advance(250);
  EXPECT_EQ(server.PortStatus()->Codice(), -1);
  EXPECT_EQ(server.InfoFaxModem(), nullptr);
  EXPECT_STREQ(root().last_child().name(), "InfoFaxModem");
  EXPECT_STREQ(root().child("PortStatus").child_value("Descrizione"), "Port Closed");

  EXPECT_EQ(server.TestoLog(),
            "HeaderHeight:0 = 25\r\n"
            "HeaderFaceName:Arial = Courier_New\r\n"
            "HeaderFontSize:10 = 8\r\n"
            "SpeakerVolume:0 = 0\r\n"
            "SpeakerMode:0 = 2\r\n"
            "GetPortCapability PC_ECM = 3\r\n"
            "GetPortCapability PC_BINARY = 2\r\n"
            "GetPortCapability PC_MAX_BAUD_SEND = 7\r\n"
            "GetPortCapability PC_MIN_BAUD_SEND = 2\r\n"
            "GetPortCapability PC_MIN_RESOLUTION = 2\r\n"
            "GetPortCapability PC_MAX_RESOLUTION = 3\r\n"
            "GetPortCapability PC_MIN_COMPRESSION = 2\r\n"
            "GetPortCapability PC_MAX_COMPRESSION = 5\r\n"
            "GetPortCapability PC_COLORFAX = 2\r\n"
            "Dopo settaggi\r\n"
            "GetPortCapability PC_ECM = 3\r\n"
            "GetPortCapability PC_BINARY = 2\r\n"
            "GetPortCapability PC_MAX_BAUD_SEND = 7\r\n"
            "GetPortCapability PC_MIN_BAUD_SEND = 2\r\n"
            "GetPortCapability PC_MIN_RESOLUTION = 2\r\n"
            "GetPortCapability PC_MAX_RESOLUTION = 3\r\n"
            "GetPortCapability PC_MIN_COMPRESSION = 2\r\n"
            "GetPortCapability PC_MAX_COMPRESSION = 5\r\n"
            "GetPortCapability PC_COLORFAX = 2\r\n"
            "ttyS0 was opened\r\n"
            "Closing port ttyS0 ...\r\n"
            "ttyS0 was closed\r\n");
  EXPECT_EQ(f.sink->heard, (std::vector<std::string>{"Attivita 0", "Attivita 3", "Attivita 1", "Attivita 2",
                                                      "Attivita 3", "Attivita 0", "Attivita 4", "Attivita 0"}));
}

TEST(SimBankThroughTheServer, OpeningThePortWithNoModemFails) {
  testing::ServerFixture f;
  f.UseSimulatedBank();
  auto& server = f.CreateWithSink();
  server.PortaPredefinita("ttyS1");
  server.RilevaModem();
  f.apartment.clock->Advance(250);
  server.SelezionaFaxModem("ttyS1");
  ASSERT_NE(server.InfoFaxModem(), nullptr);
  EXPECT_EQ(server.InfoFaxModem()->IdentificativoModem(), "Sconosciuto");
  server.TestDialTone(true);
  server.ApriPorta();
  f.apartment.clock->Advance(250);
  EXPECT_EQ(server.TestoLog(), "No Dial Tone on ttyS1 port!\r\n");
  EXPECT_EQ(server.Errore()->Codice(), -2);
  EXPECT_EQ(server.PortStatus()->Codice(), -1);
}

}  // namespace
}  // namespace qvfax
