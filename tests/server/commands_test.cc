#include <gtest/gtest.h>

#include "platform/automation_error.h"
#include "server_fixture.h"
#include "status/status_document.h"
#include "values/avanzamento.h"
#include "values/coded_values.h"
#include "values/containers.h"
#include "values/intestazione.h"
#include "values/two_code_value.h"

namespace qvfax {
namespace {

using testing::ServerFixture;

class Commands : public ::testing::Test {
 protected:
  pugi::xml_node Root() { return f.apartment.context.document->Root(); }
  ServerFixture f;
};

TEST_F(Commands, EachCommandSetsItsActivityThenArmsItsTimer) {
  struct Row {
    void (QvVavUvaRazUr::*command)();
    int activity;
    int delay_ms;
  };
  for (const Row& row : {Row{&QvVavUvaRazUr::Invia, 6, 50}, Row{&QvVavUvaRazUr::ApriPorta, 3, 250},
                         Row{&QvVavUvaRazUr::ChiudiPorta, 4, 250}}) {
    ServerFixture g;
    auto& server = g.CreateWithSink();
    (server.*row.command)();
    EXPECT_EQ(server.Attivita()->Codice(), row.activity);
    EXPECT_EQ(g.sink->heard, (std::vector<std::string>{"Attivita " + std::to_string(row.activity)}));
    EXPECT_EQ(g.apartment.clock->PendingTimers(), 1u);
    g.apartment.clock->Advance(row.delay_ms - 1);
    EXPECT_EQ(g.apartment.clock->PendingTimers(), 1u) << "fired early";
    g.apartment.clock->Advance(1);
  }
}

TEST_F(Commands, ACommandWithoutASinkUpdatesTheDocumentRaises91AndArmsNoTimer) {
  auto& server = f.Create();
  const size_t before = f.StatusPublisher().count();
  try {
    server.Invia();
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 91);
  }
  EXPECT_EQ(server.Attivita()->Codice(), 6);
  EXPECT_STREQ(Root().child("Attivita").child_value("Descrizione"), "Trasmissione fax in corso...");
  EXPECT_EQ(f.StatusPublisher().count(), before + 1);
  EXPECT_EQ(f.apartment.clock->PendingTimers(), 0u);
}

TEST_F(Commands, RilevaModemArmsItsTimerAndLeavesTheActivity) {
  auto& server = f.Create();  // needs no sink: it changes no activity
  server.RilevaModem();
  EXPECT_EQ(server.Attivita()->Codice(), 0);
  EXPECT_EQ(f.apartment.clock->PendingTimers(), 1u);
}

TEST_F(Commands, AnnullaFaxArmsOnlyForABusyPort) {
  auto& server = f.CreateWithSink();
  for (int status : {-1, 0}) {
    server.PortStatus()->ImpostaCodice(status);
    server.AnnullaFax();
    EXPECT_EQ(f.apartment.clock->PendingTimers(), 0u) << status;
  }
  server.PortStatus()->ImpostaCodice(1);
  server.AnnullaFax();
  EXPECT_EQ(f.apartment.clock->PendingTimers(), 1u);
  EXPECT_TRUE(f.sink->heard.empty());
}

TEST_F(Commands, InviaTwiceBeforeTheTimerFiresRunsTheSendOnce) {
  auto& server = f.CreateWithSink();
  server.Invia();
  server.Invia();
  EXPECT_EQ(f.apartment.clock->PendingTimers(), 1u);
}

TEST_F(Commands, HeaderWritesPublishNothingAndProgressReadsAlwaysPublish) {
  auto& server = f.CreateWithSink();
  const size_t before = f.StatusPublisher().count();
  server.Intestazione()->Attivata(true);
  server.Intestazione()->Altezza(40);
  EXPECT_EQ(f.StatusPublisher().count(), before);
  EXPECT_STREQ(Root().child("Intestazione").child_value("Attivata"), "-1");
  EXPECT_EQ(f.StatusPublisher().last().find("<Attivata>-1</Attivata>"), std::string::npos);

  server.Avanzamento()->PageNumber();
  server.Avanzamento()->PageNumber();
  EXPECT_EQ(f.StatusPublisher().count(), before + 2);
  EXPECT_NE(f.StatusPublisher().last().find("<Attivata>-1</Attivata>"), std::string::npos);
}

TEST_F(Commands, ValueWritesPublishOnceEach) {
  auto& server = f.CreateWithSink();
  const size_t before = f.StatusPublisher().count();
  server.Trasmissione()->ECM()->Codice(2);
  server.Speaker()->CodiceSpeakerVolume(1);
  server.ToneDial()->Codice(0);
  EXPECT_EQ(f.StatusPublisher().count(), before + 3);
  EXPECT_STREQ(Root().child("ToneDial").child_value("Descrizione"), "Pulse");
  EXPECT_STREQ(Root().child("Porta").child("ECM").child_value("Codice"), "3");
}

TEST_F(Commands, ImpostaAnnullaRewritesAnnullaAndPublishes) {
  auto& server = f.CreateWithSink();
  const size_t before = f.StatusPublisher().count();
  server.ImpostaAnnulla(-1);
  EXPECT_EQ(server.Annulla(), -1);
  EXPECT_STREQ(Root().child_value("Annulla"), "-1");
  EXPECT_EQ(f.StatusPublisher().count(), before + 1);
}

}  // namespace
}  // namespace qvfax
