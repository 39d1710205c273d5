#include <gtest/gtest.h>

#include "components/modem_info_list.h"
#include "platform/automation_error.h"
#include "server_fixture.h"
#include "status/status_document.h"

namespace qvfax {
namespace {

using testing::ServerFixture;

// A server with ttyS0 selected and open on a recording control.
class SendWorkflow : public ::testing::Test {
 protected:
  SendWorkflow() {
    server = &f.CreateWithSink();
    auto modem = std::make_shared<ModemInfo>();
    modem->Porta("ttyS0");
    server->ImpostaInfoFaxModem(modem);
    f.fax->Script("GetPortStatus", 0);
    f.fax->Script("CreateFaxObject", 7);
    f.fax->Script("GetPortCapability", 2);
    f.fax->on_call = [this](const std::string& call) {
      if (call.rfind("GetNumberOfPages(a.tif", 0) == 0) f.fax->Queue("GetNumberOfPages", 2);
      if (call.rfind("GetNumberOfPages(b.tif", 0) == 0) f.fax->Queue("GetNumberOfPages", 3);
    };
    server->NumeroFax("0612345");
  }

  // Fires the send timer only.
  void Send() {
    server->Invia();
    f.fax->calls.clear();
    f.apartment.clock->Advance(50);
  }

  std::vector<std::string> Log() const {
    std::vector<std::string> lines;
    const auto& text = server->TestoLog();
    for (size_t start = 0; start < text.size();) {
      const size_t end = text.find("\r\n", start);
      lines.push_back(text.substr(start, end - start));
      start = end + 2;
    }
    return lines;
  }

  ServerFixture f;
  QvVavUvaRazUr* server = nullptr;
};

TEST_F(SendWorkflow, CountsThePagesOfEveryFileWhenTheFilesAreSet) {
  server->FilesTif("a.tif+b.tif");
  EXPECT_EQ(server->PagineDaTrasmettere(), 5);
  EXPECT_EQ(f.fax->CallsTo("GetNumberOfPages"),
            (std::vector<std::string>{"GetNumberOfPages(a.tif, 11)", "GetNumberOfPages(b.tif, 11)"}));
  f.fax->calls.clear();
  server->FilesTif("");
  EXPECT_EQ(server->PagineDaTrasmettere(), 0);
  EXPECT_TRUE(f.fax->calls.empty());
  server->FilesTif("a.tif++");
  EXPECT_EQ(f.fax->CallsTo("GetNumberOfPages").size(), 3u) << "empty parts are asked for too";
}

TEST_F(SendWorkflow, AttachesEveryPageOfEveryFileWithARunningPageNumber) {
  server->FilesTif("a.tif+b.tif");
  Send();
  EXPECT_EQ(f.fax->CallsTo("SetFaxPage"),
            (std::vector<std::string>{"SetFaxPage(7, 1, 11, 1)", "SetFaxPage(7, 2, 11, 2)", "SetFaxPage(7, 3, 11, 1)",
                                      "SetFaxPage(7, 4, 11, 2)", "SetFaxPage(7, 5, 11, 3)"}));
  const auto& calls = f.fax->calls;
  EXPECT_EQ(calls[0], "GetPortStatus(ttyS0)");
  EXPECT_EQ(calls[1], "GetPortCapability(ttyS0, 4)");
  EXPECT_EQ(calls[2], "GetPortCapability(ttyS0, 3)");
  EXPECT_EQ(calls[3], "SetPortCapability(ttyS0, 3, 3)") << "no change restores the port's ECM";
  EXPECT_EQ(calls[4], "CreateFaxObject(1, 5, 1, 1, 1, 1, 1, 1, 1, 1)");
  EXPECT_EQ(calls[5], "SetFaxParam(7, 9, 5)");
  EXPECT_EQ(calls[6], "SetPhoneNumber(7, 0612345)");
  EXPECT_EQ(calls[7], "ImageFileName=a.tif");
  const auto n = calls.size();
  EXPECT_EQ(calls[n - 2], "SendNow(ttyS0, 7)");
  EXPECT_EQ(calls[n - 1], "DisplayFaxManager=true");
  EXPECT_EQ(calls[n - 3], "SetPortFlag(ttyS0, true)");
  EXPECT_EQ(f.manager->calls, (std::vector<std::string>{"SetDialogMode(1)"}));
  EXPECT_EQ(server->FaxID(), 7);
  EXPECT_EQ(f.sink->heard, (std::vector<std::string>{"Attivita 6", "InizioInvio"}));
}

TEST_F(SendWorkflow, ChangedParametersGoToTheCapabilitiesAndTheFaxObject) {
  server->Trasmissione()->BFT()->Codice(3);
  server->Trasmissione()->ECM()->Codice(2);
  server->Trasmissione()->Risoluzione()->Codice(3);
  server->Trasmissione()->Colore()->CodiceTipo(2);
  Send();
  EXPECT_EQ(f.fax->CallsTo("SetPortCapability"),
            (std::vector<std::string>{"SetPortCapability(ttyS0, 4, 3)", "SetPortCapability(ttyS0, 3, 2)"}));
  EXPECT_TRUE(f.fax->CallsTo("GetPortCapability").empty());
  EXPECT_EQ(f.fax->CallsTo("CreateFaxObject"),
            (std::vector<std::string>{"CreateFaxObject(1, 0, 3, 1, 1, 1, 3, 2, 1, 2)"}));
  const auto log = Log();
  EXPECT_EQ(log[6], "Parametro di invio Risoluzione = 3 - Alta (204 x 196 dpi)");
  EXPECT_EQ(log[13], "Parametro di invio Colore Tipo = 2 - GRAYSCALE");
}

TEST_F(SendWorkflow, ANoChangeThatMatchesThePortSetsNothing) {
  f.fax->Queue("GetPortCapability", 2);  // BFT as the port has it
  f.fax->Queue("GetPortCapability", 3);  // ECM as the port has it
  Send();
  EXPECT_TRUE(f.fax->CallsTo("SetPortCapability").empty());
}

TEST_F(SendWorkflow, AnEmptyFileListSendsAFaxOfNoPagesWithoutTouchingAFile) {
  Send();
  EXPECT_EQ(f.fax->CallsTo("CreateFaxObject").front(), "CreateFaxObject(1, 0, 1, 1, 1, 1, 1, 1, 1, 1)");
  for (const char* call : {"ImageFileName", "GetNumberOfPages", "SetFaxPage"}) {
    EXPECT_TRUE(f.fax->CallsTo(call).empty()) << call;
  }
  const auto& calls = f.fax->calls;
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls[calls.size() - 3], "SetPortFlag(ttyS0, true)");
  EXPECT_EQ(calls[calls.size() - 2], "SendNow(ttyS0, 7)");
}

TEST_F(SendWorkflow, APortClosedWhenTheTimerFiresGivesMinus34AndTheEndStepKeepsPolling) {
  f.fax->Script("GetPortStatus", -1);
  Send();
  EXPECT_EQ(server->Errore()->Codice(), -34);
  EXPECT_TRUE(f.fax->CallsTo("CreateFaxObject").empty());
  f.apartment.clock->Advance(5000);
  EXPECT_EQ(f.fax->CallsTo("GetPortStatus").size(), 6u);
  EXPECT_EQ(server->Attivita()->Codice(), 6);
  EXPECT_TRUE(server->Annullabile());
}

TEST_F(SendWorkflow, AFailedCreationIsLoggedAndNothingElseIsAsked) {
  f.fax->Script("CreateFaxObject", 0);
  Send();
  EXPECT_EQ(Log().back(), "Can't create fax object! Error code: 0-No errors.");
  EXPECT_EQ(f.fax->calls.back().rfind("CreateFaxObject", 0), 0u);
  EXPECT_EQ(server->FaxID(), 0);
}

TEST_F(SendWorkflow, AFailedPageStopsThePagesAndTheSend) {
  server->FilesTif("a.tif+b.tif");
  f.fax->Queue("SetFaxPage", 0);
  f.fax->Queue("SetFaxPage", -60);
  Send();
  EXPECT_EQ(f.fax->CallsTo("SetFaxPage").size(), 2u);
  EXPECT_TRUE(f.fax->CallsTo("SendNow").empty());
  const auto log = Log();
  EXPECT_EQ(log[log.size() - 2], "Bad page number parameter.");
  EXPECT_EQ(log.back(), "Can't send fax! Error code : -60-Bad page number parameter.");
}

TEST_F(SendWorkflow, AMissingNumberStopsTheSendButAFailedPageCountParameterDoesNot) {
  f.fax->Script("SetPhoneNumber", -158);
  Send();
  auto log = Log();
  EXPECT_EQ(log[log.size() - 2], "Errore .SetPhoneNumber(mlngFaxId, mstrNumeroFax) - 0612345");
  EXPECT_EQ(log.back(),
            "Can't send fax! Error code : -158-No phone number was specified for SetPhoneNumber function.");

  ServerFixture g;
  auto& s = g.CreateWithSink();
  auto modem = std::make_shared<ModemInfo>();
  modem->Porta("ttyS0");
  s.ImpostaInfoFaxModem(modem);
  g.fax->Script("CreateFaxObject", 3);
  g.fax->Script("SetFaxParam", -24);
  s.Invia();
  g.apartment.clock->Advance(50);
  EXPECT_EQ(s.Errore()->Codice(), 0);
  EXPECT_EQ(g.fax->CallsTo("SendNow").size(), 1u);
  EXPECT_NE(s.TestoLog().find("Errore .SetFaxParam(mlngFaxId, FP_SEND, mlngPagineDaTrasmettere) - 0\r\n"),
            std::string::npos);
}

TEST_F(SendWorkflow, AFailedSendNowSkipsTheDialogMode) {
  f.fax->Script("SendNow", -22);
  Send();
  EXPECT_EQ(Log().back(), "Errore .SendNow(mobjInfoFaxModem.Porta, mlngFaxId) - 7");
  EXPECT_EQ(f.fax->CallsTo("DisplayFaxManager=").size(), 1u);
  EXPECT_TRUE(f.manager->calls.empty());
  EXPECT_EQ(server->Errore()->Codice(), -22);
}

TEST_F(SendWorkflow, APageCountBeyondTheIntegerRangeRaisesOverflow) {
  f.fax->Script("GetNumberOfPages", 40000);
  server->FilesTif("big.tif");
  server->Invia();
  try {
    server->mobjTimerSend_TimerEvent();
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 6);
  }
  EXPECT_TRUE(f.fax->CallsTo("CreateFaxObject").empty());
}

TEST_F(SendWorkflow, TheStartResetsTheFaxStateAndPublishesOnce) {
  server->ScriviLog("earlier line");
  server->ImpostaAnnulla(-1);
  const size_t before = f.StatusPublisher().count();
  f.fax->Script("GetPortStatus", -1);  // nothing else is published then
  server->Invia();
  const size_t after_command = f.StatusPublisher().count();
  f.apartment.clock->Advance(50);
  // One publication for Annulla and Annullabile, one for the error, one for the port status.
  EXPECT_EQ(f.StatusPublisher().count() - after_command, 4u);
  EXPECT_EQ(after_command, before + 1);
  EXPECT_EQ(server->Annulla(), 0);
  auto root = f.apartment.context.document->Root();
  EXPECT_STREQ(root.child_value("Annulla"), "0");
  EXPECT_STREQ(root.child_value("Annullabile"), "-1");
}

TEST_F(SendWorkflow, EachSendStartsFromAClearedLogText) {
  server->ScriviLog("port opened");
  Send();
  EXPECT_EQ(Log().front(), "***********************************************");
  EXPECT_EQ(f.LogPublisher().texts[1], "") << "the log text is first emptied, then grows";
  EXPECT_EQ(Log()[4], "Numero fax composto: 0612345");
}

TEST(SendWithoutAModem, EndsTheHandlerWithAnErrorAndTheEndStepFinishes) {
  ServerFixture f;
  auto& server = f.CreateWithSink();
  server.Invia();
  f.apartment.clock->Advance(1050);
  EXPECT_EQ(server.Errore()->Codice(), -165);
  EXPECT_TRUE(f.fax->CallsTo("GetPortStatus").empty());
  EXPECT_EQ(server.Attivita()->Codice(), 0);
  EXPECT_EQ(f.sink->heard, (std::vector<std::string>{"Attivita 6", "InizioInvio", "FineInvio", "Attivita 0"}));
}

}  // namespace
}  // namespace qvfax
