#include <gtest/gtest.h>

#include "components/modem_info_list.h"
#include "platform/automation_error.h"
#include "server_fixture.h"
#include "values/coded_values.h"

namespace qvfax {
namespace {

using testing::ServerFixture;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

std::shared_ptr<ModemInfo> Modem(const std::string& port, const std::string& identity = "QV-1") {
  auto modem = std::make_shared<ModemInfo>();
  modem->Porta(port);
  modem->IdentificativoModem(identity);
  modem->DescrizioneModem("Soft modem");
  modem->ClassiFax(3);
  return modem;
}

class OpenPort : public ::testing::Test {
 protected:
  OpenPort() {
    server = &f.CreateWithSink();
    server->TestDialTone(true);
    f.fax->Script("TestDialTone", 1);
    f.fax->Text("ModemClasses", "1,1.0");
    f.fax->Script("GetPortCapability", 3);
    f.fax->Script("GetPortStatus", 0);
    server->ImpostaInfoFaxModem(Modem("ttyS0"));
    f.fax->calls.clear();
  }

  void Open() {
    server->ApriPorta();
    f.apartment.clock->Advance(250);
  }

  std::vector<std::string> Traces() const {
    std::vector<std::string> out;
    for (const auto& line : f.log_file->lines) {
      if (line.text.find("> ") != std::string::npos) out.push_back(line.text);
    }
    return out;
  }

  ServerFixture f;
  QvVavUvaRazUr* server = nullptr;
};

TEST_F(OpenPort, ASuccessfulOpenLogsSettingsCapabilitiesAndTheOpenedPort) {
  Open();
  std::vector<std::string> expected = {"HeaderHeight:0 = 25", "HeaderFaceName: = Courier_New",
                                       "HeaderFontSize:0 = 8", "SpeakerVolume:0 = 0", "SpeakerMode:0 = 2"};
  const char* caps[] = {"PC_ECM", "PC_BINARY", "PC_MAX_BAUD_SEND", "PC_MIN_BAUD_SEND", "PC_MIN_RESOLUTION",
                        "PC_MAX_RESOLUTION", "PC_MIN_COMPRESSION", "PC_MAX_COMPRESSION", "PC_COLORFAX"};
  for (int round = 0; round < 2; ++round) {
    for (const char* cap : caps) expected.push_back(std::string("GetPortCapability ") + cap + " = 3");
    if (round == 0) expected.push_back("Dopo settaggi");
  }
  expected.push_back("ttyS0 was opened");
  EXPECT_EQ(Lines(server->TestoLog()), expected);
  EXPECT_EQ(Traces(), (std::vector<std::string>{
                          "OpenPort> Inizio TestModem su porta: ttyS0", "OpenPort> Fine TestModem su porta: ttyS0",
                          "OpenPort> Inizio TestDialTone su porta: ttyS0",
                          "OpenPort> Fine TestDialTone su porta: ttyS0. lngDetectDialTone=1"}));
  EXPECT_EQ(f.sink->heard, (std::vector<std::string>{"Attivita 3", "Attivita 1", "Attivita 2", "Attivita 3",
                                                      "Attivita 0"}));
  EXPECT_EQ(server->PortStatus()->Codice(), 0);
  EXPECT_EQ(server->Errore()->Codice(), 0);
}

TEST_F(OpenPort, PushesSettingsAndCapabilitiesInOrder) {
  server->Porta()->ECM()->Codice(2);
  server->ToneDial()->Codice(0);
  server->IdLocale("+39 06 1234");
  Open();
  const auto sets = f.fax->CallsTo("SetPortCapability");
  EXPECT_EQ(sets, (std::vector<std::string>{
                      "SetPortCapability(ttyS0, 3, 2)", "SetPortCapability(ttyS0, 4, 2)",
                      "SetPortCapability(ttyS0, 9, 2)", "SetPortCapability(ttyS0, 10, 7)",
                      "SetPortCapability(ttyS0, 15, 2)", "SetPortCapability(ttyS0, 16, 3)",
                      "SetPortCapability(ttyS0, 1, 2)", "SetPortCapability(ttyS0, 2, 5)",
                      "SetPortCapability(ttyS0, 19, 1)"}));
  auto& calls = f.fax->calls;
  auto at = [&](const std::string& call) {
    return std::find(calls.begin(), calls.end(), call) - calls.begin();
  };
  EXPECT_EQ(calls[0], "StartMode=0");
  EXPECT_EQ(calls[1], "DeviceName=GCLASS1(SFC)");
  EXPECT_EQ(calls[2], "SetLogPath()");
  EXPECT_LT(at("SpeakerVolume=0"), at("SpeakerMode=2"));
  EXPECT_LT(at("SpeakerMode=2"), at("DialMode=0"));
  EXPECT_LT(at("DialMode=0"), at("LocalID=+39 06 1234"));
  EXPECT_LT(at("HeaderRight=%t, %D"), at("OpenPort(ttyS0)"));
  EXPECT_LT(at("OpenPort(ttyS0)"), at("SetPortMode(ttyS0, 0)"));
  EXPECT_LT(at("SetPortMode(ttyS0, 0)"), at("SetPortSpeaker(ttyS0, 2, 0)"));
  EXPECT_EQ(calls.back(), "GetPortStatus(ttyS0)");
}

struct FailureRow {
  const char* name;
  std::function<void(testing::RecordingFaxControl&, QvVavUvaRazUr&)> script;
  std::vector<std::string> log;
  int32_t error;
};

TEST_F(OpenPort, EachFailureLogsItsTextSetsItsCodeAndRefreshesThePortStatus) {
  const std::vector<FailureRow> rows = {
      {"modem test", [](auto& fax, auto&) { fax.Script("TestModem", -167); },
       {"No Modem on ttyS0 port!"}, -167},
      {"no dial tone", [](auto& fax, auto&) { fax.Script("TestDialTone", 0); },
       {"No Dial Tone on ttyS0 port!"}, -1},
      {"no modem on port", [](auto& fax, auto&) { fax.Script("TestDialTone", -1); },
       {"No Dial Tone on ttyS0 port!"}, -2},
      {"port failure", [](auto& fax, auto&) { fax.Script("TestDialTone", 7); },
       {"No Dial Tone on ttyS0 port!"}, -153},
      {"no classes", [](auto& fax, auto&) { fax.Text("ModemClasses", ""); },
       {"The selected modem does not support any fax Class"}, -70},
      {"class mismatch", [](auto& fax, auto&) { fax.Text("ModemClasses", "2.0"); },
       {"The selected modem does not support Class 1"}, 0},
      {"open fails", [](auto& fax, auto&) { fax.Script("OpenPort", -22); },
       {"HeaderHeight:0 = 25", "HeaderFaceName: = Courier_New", "HeaderFontSize:0 = 8", "SpeakerVolume:0 = 0",
        "SpeakerMode:0 = 2", "No Modem on ttyS0 port!", "Fax port is in use."},
       -22},
  };
  for (const auto& row : rows) {
    ServerFixture g;
    auto& s = g.CreateWithSink();
    s.TestDialTone(true);
    g.fax->Script("TestDialTone", 1);
    g.fax->Text("ModemClasses", "1,1.0");
    g.fax->Script("GetPortStatus", 64);
    s.ImpostaInfoFaxModem(Modem("ttyS0"));
    row.script(*g.fax, s);
    s.ApriPorta();
    g.apartment.clock->Advance(250);
    EXPECT_EQ(Lines(s.TestoLog()), row.log) << row.name;
    EXPECT_EQ(s.Errore()->Codice(), row.error) << row.name;
    EXPECT_EQ(s.PortStatus()->Codice(), 64) << row.name;
    EXPECT_EQ(g.fax->calls.back(), "GetPortStatus(ttyS0)") << row.name;
    EXPECT_EQ(s.Attivita()->Codice(), 0) << row.name;
  }
}

TEST_F(OpenPort, AnUnknownModemSkipsTheModemTestButNotTheDialToneTest) {
  server->ImpostaInfoFaxModem(Modem("ttyS0", "Sconosciuto"));
  server->Errore()->ImpostaCodice(-5);
  Open();
  EXPECT_TRUE(f.fax->CallsTo("TestModem").empty());
  EXPECT_EQ(f.fax->CallsTo("TestDialTone").size(), 1u);
  EXPECT_EQ(f.sink->heard, (std::vector<std::string>{"Attivita 3", "Attivita 2", "Attivita 3", "Attivita 0"}));
  EXPECT_EQ(server->Errore()->Codice(), 0);
}

TEST_F(OpenPort, WithoutTheDialToneCheckAMissingToneIsNoErrorButIsStillTested) {
  server->TestDialTone(false);
  f.fax->Script("TestDialTone", 0);
  Open();
  EXPECT_EQ(f.fax->CallsTo("TestDialTone"), (std::vector<std::string>{"TestDialTone(ttyS0)"}));
  EXPECT_EQ(Traces().back(), "OpenPort> Fine TestDialTone su porta: ttyS0. lngDetectDialTone=0");
  EXPECT_EQ(Lines(server->TestoLog()).back(), "ttyS0 was opened");
}

TEST_F(OpenPort, WithNoModemSelectedOnlyTheActivityMoves) {
  ServerFixture g;
  auto& s = g.CreateWithSink();
  s.ApriPorta();
  g.apartment.clock->Advance(250);
  EXPECT_EQ(g.sink->heard, (std::vector<std::string>{"Attivita 3", "Attivita 0"}));
  EXPECT_TRUE(g.fax->CallsTo("GetPortStatus").empty());
  EXPECT_EQ(s.PortStatus()->Codice(), -1);
}

TEST(SelezionaFaxModem, ChoosesFromTheDetectedModems) {
  ServerFixture f;
  auto& server = f.CreateWithSink();
  server.SelezionaFaxModem();
  EXPECT_EQ(server.InfoFaxModem(), nullptr) << "an empty list changes nothing";
  auto a = Modem("ttyS0"), b = Modem("ttyS1");
  server.InfoModems()->Add(a);
  server.InfoModems()->Add(b);
  server.SelezionaFaxModem();
  EXPECT_EQ(server.InfoFaxModem(), a);
  server.SelezionaFaxModem("ttyS1");
  EXPECT_EQ(server.InfoFaxModem(), b);
  server.SelezionaFaxModem("ttyS9");
  EXPECT_EQ(server.InfoFaxModem(), nullptr);
  server.SelezionaFaxModem("ttyS0");
  server.PortStatus()->ImpostaCodice(0);
  try {
    server.SelezionaFaxModem("ttyS1");
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 445);
  }
  EXPECT_EQ(server.InfoFaxModem(), a);
}

}  // namespace
}  // namespace qvfax
