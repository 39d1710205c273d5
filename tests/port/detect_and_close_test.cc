#include <gtest/gtest.h>

#include "components/modem_info_list.h"
#include "platform/automation_error.h"
#include "server_fixture.h"
#include "status/status_document.h"

namespace qvfax {
namespace {

using testing::ServerFixture;

// A control whose ports answer the modem test with the classes given here.
class Detection : public ::testing::Test {
 protected:
  Detection() {
    server = &f.CreateWithSink();
    f.fax->Text("PortNames", "ttyS0 ttyS1 ttyS2");
    f.fax->on_call = [this](const std::string& call) {
      const std::string prefix = "TestModem(";
      if (call.rfind(prefix, 0) != 0) return;
      const std::string port = call.substr(prefix.size(), call.size() - prefix.size() - 1);
      f.fax->Text("ModemClasses", classes[port]);
      f.fax->Text("ModemIdentity", classes[port].empty() ? "" : "ID-" + port);
      f.fax->Text("ModemDescription", classes[port].empty() ? "" : "Modem on " + port);
      if (port == failing_port) throw AutomationError(5, "FAXLib.FAX", "Invalid procedure call");
    };
  }

  void Detect() {
    server->RilevaModem();
    f.apartment.clock->Advance(250);
  }

  std::vector<std::string> Tested() const { return f.fax->CallsTo("TestModem"); }
  pugi::xml_node Root() { return f.apartment.context.document->Root(); }

  ServerFixture f;
  QvVavUvaRazUr* server = nullptr;
  std::map<std::string, std::string> classes;
  std::string failing_port;
};

TEST_F(Detection, ScansEveryPortAndListsTheModemsThatReportKnownClasses) {
  classes = {{"ttyS0", "1.0,2.0"}, {"ttyS1", ""}, {"ttyS2", "1,2.0"}};
  Detect();
  auto& modems = *server->InfoModems();
  ASSERT_EQ(modems.Count(), 2);
  EXPECT_EQ(modems.Item(0)->Porta(), "ttyS0");
  EXPECT_EQ(modems.Item(0)->ClassiFax(), 10);
  EXPECT_EQ(modems.Item(0)->IdentificativoModem(), "ID-ttyS0");
  EXPECT_EQ(modems.Item(1)->ClassiFax(), 9);
  EXPECT_EQ(Tested(), (std::vector<std::string>{"TestModem(ttyS0)", "TestModem(ttyS1)", "TestModem(ttyS2)"}));
  EXPECT_EQ(f.fax->CallsTo("SetTestMode"), std::vector<std::string>(3, "SetTestMode(5)"));
  std::vector<std::string> traces;
  for (const auto& line : f.log_file->lines) traces.push_back(line.text);
  EXPECT_EQ(traces.front(), "Inizio> TestModem su porta: ttyS0");
  EXPECT_EQ(traces.back(), "Fine> TestModem su porta: ttyS2");
  EXPECT_EQ(server->TestoLog(), "") << "trace lines reach the file only";
  EXPECT_EQ(Root().child("InfoFaxModems").select_nodes("InfoFaxModem").size(), 2u);
  EXPECT_STREQ(Root().last_child().name(), "InfoFaxModems");
}

TEST_F(Detection, ASilentPreferredPortIsListedAloneAsClass1) {
  server->PortaPredefinita("ttyS1");
  classes = {{"ttyS0", "1"}, {"ttyS1", ""}};
  Detect();
  ASSERT_EQ(server->InfoModems()->Count(), 1);
  auto modem = server->InfoModems()->Item(0);
  EXPECT_EQ(modem->Porta(), "ttyS1");
  EXPECT_EQ(modem->IdentificativoModem(), "Sconosciuto");
  EXPECT_EQ(modem->DescrizioneModem(), "Sconosciuto");
  EXPECT_EQ(modem->ClassiFax(), 1);
  EXPECT_EQ(Tested(), (std::vector<std::string>{"TestModem(ttyS1)"}));
  EXPECT_TRUE(f.fax->CallsTo("SetTestMode").empty());
}

TEST_F(Detection, APreferredPortOfUnknownClassesLeadsToAFullScan) {
  server->PortaPredefinita("ttyS1");
  classes = {{"ttyS0", "1"}, {"ttyS1", "8"}};
  Detect();
  ASSERT_EQ(server->InfoModems()->Count(), 1);
  EXPECT_EQ(server->InfoModems()->Item(0)->Porta(), "ttyS0");
  EXPECT_EQ(Tested(), (std::vector<std::string>{"TestModem(ttyS1)", "TestModem(ttyS0)", "TestModem(ttyS1)",
                                                "TestModem(ttyS2)"}));
}

TEST_F(Detection, NoModemFoundIsLoggedOnceAndTheEmptyListPublished) {
  const size_t before = f.StatusPublisher().count();
  Detect();
  EXPECT_EQ(server->TestoLog(), "No Modem Detected\r\n");
  EXPECT_EQ(server->InfoModems()->Count(), 0);
  EXPECT_FALSE(Root().child("InfoFaxModems").child("InfoFaxModem"));
  EXPECT_STREQ(Root().child("InfoFaxModems").attribute("Count").value(), "0");
  EXPECT_GT(f.StatusPublisher().count(), before);
  EXPECT_TRUE(f.sink->heard == std::vector<std::string>{"Attivita 0"});
}

TEST_F(Detection, AFailingPortEndsTheScanButNotTheDetection) {
  classes = {{"ttyS0", "1"}, {"ttyS1", "1"}, {"ttyS2", "1"}};
  failing_port = "ttyS1";
  Detect();
  ASSERT_EQ(server->InfoModems()->Count(), 1);
  EXPECT_EQ(Tested().size(), 2u);
  EXPECT_EQ(server->TestoLog(), "") << "no 'No Modem Detected' after an error";
  EXPECT_EQ(Root().child("InfoFaxModems").select_nodes("InfoFaxModem").size(), 1u);
  EXPECT_EQ(server->Attivita()->Codice(), 0);
  EXPECT_EQ(f.sink->heard.back(), "Attivita 0");
}

TEST_F(Detection, ClosesAnOpenPortButKeepsTheSelection) {
  auto selected = std::make_shared<ModemInfo>();
  selected->Porta("ttyS0");
  server->ImpostaInfoFaxModem(selected);
  server->PortStatus()->ImpostaCodice(0);
  classes = {{"ttyS0", "1"}};
  Detect();
  EXPECT_EQ(f.fax->CallsTo("ClosePorts").size(), 1u);
  EXPECT_EQ(server->PortStatus()->Codice(), -1);
  EXPECT_EQ(server->InfoFaxModem(), selected);
}

class ClosePort : public ::testing::Test {
 protected:
  void Close() {
    server->ChiudiPorta();
    f.apartment.clock->Advance(250);
  }
  ServerFixture f;
  QvVavUvaRazUr* server = &f.CreateWithSink();
};

TEST_F(ClosePort, ClosesTheOpenPortAndClearsTheSelection) {
  auto modem = std::make_shared<ModemInfo>();
  modem->Porta("ttyS0");
  server->ImpostaInfoFaxModem(modem);
  server->PortStatus()->ImpostaCodice(0);
  Close();
  EXPECT_EQ(server->TestoLog(), "Closing port ttyS0 ...\r\nttyS0 was closed\r\n");
  EXPECT_EQ(f.fax->CallsTo("ClosePort"), (std::vector<std::string>{"ClosePort(ttyS0)"}));
  EXPECT_EQ(server->PortStatus()->Codice(), -1);
  EXPECT_EQ(server->InfoFaxModem(), nullptr);
  EXPECT_EQ(f.sink->heard, (std::vector<std::string>{"Attivita 4", "Attivita 0"}));
  Close();
  EXPECT_EQ(server->TestoLog(),
            "Closing port ttyS0 ...\r\nttyS0 was closed\r\nNo port to close\r\n");
  EXPECT_EQ(f.fax->CallsTo("ClosePorts").size(), 1u);
}

TEST_F(ClosePort, AFailedCloseStillMarksThePortClosed) {
  auto modem = std::make_shared<ModemInfo>();
  modem->Porta("ttyS0");
  server->ImpostaInfoFaxModem(modem);
  server->PortStatus()->ImpostaCodice(1);
  f.fax->Script("ClosePort", -34);
  Close();
  EXPECT_EQ(server->TestoLog(),
            "Closing port ttyS0 ...\r\nTrying to send a fax on a port which is currently closed.\r\n");
  EXPECT_EQ(server->Errore()->Codice(), -34);
  EXPECT_EQ(server->PortStatus()->Codice(), -1);
  EXPECT_EQ(server->InfoFaxModem(), nullptr);
}

TEST_F(ClosePort, AnAlreadyClosedPortIsNotClosedAgain) {
  auto modem = std::make_shared<ModemInfo>();
  modem->Porta("ttyS0");
  server->ImpostaInfoFaxModem(modem);
  Close();
  EXPECT_EQ(server->TestoLog(), "Port ttyS0 already closed\r\n");
  EXPECT_TRUE(f.fax->CallsTo("ClosePort").empty());
  EXPECT_EQ(server->InfoFaxModem(), nullptr);
}

}  // namespace
}  // namespace qvfax
