#include <gtest/gtest.h>

#include "components/events_sink.h"
#include "platform/automation_error.h"
#include "status/status_document.h"
#include "test_apartment.h"
#include "values/coded_values.h"
#include "values/containers.h"
#include "values/intestazione.h"
#include "values/two_code_value.h"

namespace qvfax {
namespace {

class CodedValues : public ::testing::Test {
 protected:
  testing::TestApartment apartment;

  pugi::xml_node Root() { return apartment.context.document->Root(); }
};

TEST_F(CodedValues, DescribeTheirDefaults) {
  EXPECT_EQ(QvBkgFaxVmToneDial().Descrizione(), "Tone");
  EXPECT_EQ(QvBkgFaxVmPortStatus().Descrizione(), "Port Closed");
  EXPECT_EQ(QvBkgFaxVmAttivita().Descrizione(), "Nessuna");
  EXPECT_EQ(QvBkgFaxVmErrore().Descrizione(), "No errors.");
  EXPECT_EQ(QvBkgFaxVmDispositivo().Descrizione(), "GCLASS1(SFC)");
  EXPECT_EQ(QvBkgFaxVmECM().Descrizione(), "Attivato");
  EXPECT_EQ(QvBkgFaxVmBFT().Descrizione(), "Disattivato");
  EXPECT_EQ(QvBkgFaxVmSpeaker().DescrizioneSpeakerModo(), "Dial");
  EXPECT_EQ(QvBkgFaxVmSpeaker().DescrizioneSpeakerVolume(), "Low");
  EXPECT_EQ(QvBkgFaxVmPagina().DescrizioneWidth(), "No change");
  EXPECT_EQ(QvBkgFaxVmPagina().DescrizioneLength(), "No change");
}

TEST_F(CodedValues, DescribeCodesWithTheirOwnRule) {
  apartment.BuildEmptyDocument();
  Root().append_child("ToneDial").append_child("Codice");
  Root().child("ToneDial").append_child("Descrizione");
  QvBkgFaxVmToneDial dial;
  dial.Codice(0);
  EXPECT_EQ(dial.Descrizione(), "Pulse");

  Root().append_child("Errore").append_child("Codice");
  Root().child("Errore").append_child("Descrizione");
  QvBkgFaxVmErrore error;
  error.ImpostaCodice(-34);
  EXPECT_EQ(error.Descrizione(), "Trying to send a fax on a port which is currently closed.");
  EXPECT_EQ(std::string(Root().child("Errore").child_value("Codice")), "-34");

  Root().append_child("TRMStatus").append_child("Codice");
  Root().child("TRMStatus").append_child("Descrizione");
  QvBkgFaxVmTRMStatus trm;
  trm.ImpostaCodice(137);
  EXPECT_EQ(trm.Descrizione(), " ");
}

TEST_F(CodedValues, AWriteBeforeAnyDocumentStoresTheCodeThenRaises91) {
  QvBkgFaxVmToneDial dial;
  QvBkgFaxVmErrore error;
  QvBkgFaxVmSpeaker speaker;
  QvBkgFaxVmIntestazione header;
  auto expect91 = [](auto&& write) {
    try {
      write();
      FAIL() << "no error";
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), 91);
    }
  };
  expect91([&] { dial.Codice(0); });
  expect91([&] { error.ImpostaCodice(-22); });
  expect91([&] { speaker.CodiceSpeakerVolume(2); });
  expect91([&] { header.Sinistra(""); });
  EXPECT_EQ(dial.Codice(), 0);
  EXPECT_EQ(error.Codice(), -22);
  EXPECT_EQ(speaker.CodiceSpeakerVolume(), 2);
  EXPECT_EQ(header.Sinistra(), "");
}

TEST_F(CodedValues, ContainersHoldDistinctObjectsWithTheirStartingCodes) {
  QvBkgFaxVmPorta porta;
  QvBkgFaxVmTrasmissione trasmissione;
  EXPECT_NE(static_cast<void*>(porta.ECM().get()), static_cast<void*>(trasmissione.ECM().get()));
  EXPECT_EQ(porta.ECM()->Codice(), 3);
  EXPECT_EQ(trasmissione.ECM()->Codice(), 1);
  EXPECT_EQ(porta.ECM(), porta.ECM());
  EXPECT_EQ(porta.BaudSendMax()->Descrizione(), "14400");
  EXPECT_EQ(porta.BaudSendMin()->Descrizione(), "2400");
  EXPECT_EQ(porta.PaginaMax()->DescrizioneLength(), "UNLIMITED");
  EXPECT_EQ(porta.PaginaMax()->DescrizioneWidth(), "2432");
  EXPECT_EQ(porta.CompressioneMin()->Codice(), 2);
  EXPECT_EQ(porta.CompressioneMax()->Codice(), 5);
  EXPECT_EQ(porta.RisoluzioneMin()->Codice(), 2);
  EXPECT_EQ(porta.RisoluzioneMax()->Codice(), 3);
  EXPECT_EQ(porta.BFT()->Codice(), 2);
  EXPECT_EQ(porta.Colore()->CodiceGestione(), 1);
  EXPECT_EQ(porta.Colore()->CodiceTipo(), 1);
  EXPECT_EQ(trasmissione.Pagina()->CodiceWidth(), 1);
  EXPECT_EQ(trasmissione.Colore()->CodiceTipo(), 1);
  EXPECT_EQ(trasmissione.BFT()->Codice(), 1);
}

TEST_F(CodedValues, ContainedObjectsRewriteOnlyTheirOwnElement) {
  apartment.BuildEmptyDocument();
  auto& doc = *apartment.context.document;
  QvBkgFaxVmPorta porta;
  QvBkgFaxVmTrasmissione trasmissione;
  trasmissione.CreaElementoXml(doc, Root());
  porta.CreaElementoXml(doc, Root());
  const size_t before = apartment.status_publisher->count();

  trasmissione.ECM()->Codice(2);
  EXPECT_STREQ(Root().child("Trasmissione").child("ECM").child_value("Codice"), "2");
  EXPECT_STREQ(Root().child("Trasmissione").child("ECM").child_value("Descrizione"), "Disattivato");
  EXPECT_STREQ(Root().child("Porta").child("ECM").child_value("Codice"), "3");

  porta.Colore()->CodiceTipo(2);
  auto colore = Root().child("Porta").child("Colore");
  EXPECT_STREQ(colore.child_value("DescrizioneTipo"), "GRAYSCALE");
  EXPECT_STREQ(colore.child_value("DescrizioneGestione"), "No change");
  EXPECT_EQ(apartment.status_publisher->count(), before + 2);
}

TEST_F(CodedValues, ObjectsOfAClientCreatedContainerHaveNoElement) {
  apartment.BuildEmptyDocument();
  QvBkgFaxVmTrasmissione mine;
  try {
    mine.Risoluzione()->Codice(3);
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 91);
  }
  EXPECT_EQ(mine.Risoluzione()->Codice(), 3);
}

TEST_F(CodedValues, SpeakerWritesRewriteAllFourChildren) {
  apartment.BuildEmptyDocument();
  QvBkgFaxVmSpeaker speaker;
  speaker.CreaElementoXml(*apartment.context.document, Root());
  speaker.CodiceSpeakerVolume(2);
  auto element = Root().child("Speaker");
  EXPECT_STREQ(element.child_value("CodiceSpeakerModo"), "2");
  EXPECT_STREQ(element.child_value("DescrizioneSpeakerModo"), "Dial");
  EXPECT_STREQ(element.child_value("CodiceSpeakerVolume"), "2");
  EXPECT_STREQ(element.child_value("DescrizioneSpeakerVolume"), "High");
}

TEST_F(CodedValues, HeaderWritesChangeOneChildAndPublishNothing) {
  apartment.BuildEmptyDocument();
  QvBkgFaxVmIntestazione header;
  header.CreaElementoXml(*apartment.context.document, Root());
  EXPECT_STREQ(Root().child("Intestazione").child_value("NomeCarattere"), "Courier_New");
  header.Attivata(true);
  header.Sinistra("");
  EXPECT_STREQ(Root().child("Intestazione").child_value("Attivata"), "-1");
  EXPECT_STREQ(Root().child("Intestazione").child_value("Sinistra"), "");
  EXPECT_STREQ(Root().child("Intestazione").child_value("Centrale"), "Page %c of %p");
  EXPECT_EQ(apartment.status_publisher->count(), 0u);
}

class RecordingSink : public BkgFaxVmEventi {
 public:
  std::vector<std::string> heard;
  std::function<void()> during;
  void AttivitaCambiata(QvBkgFaxVmAttivita& a) override {
    heard.push_back(std::to_string(a.Codice()) + " " + a.Descrizione());
    if (during) during();
  }
  void InizioInvio() override { heard.push_back("InizioInvio"); }
  void FineInvio() override { heard.push_back("FineInvio"); }
};

TEST_F(CodedValues, ActivityShowsTheNewCodeInTheDocumentBeforeTheSinkHearsOfIt) {
  apartment.BuildEmptyDocument();
  QvBkgFaxVmAttivita activity;
  activity.CreaElementoXml(*apartment.context.document, Root());
  auto sink = std::make_shared<RecordingSink>();
  std::string seen_in_document;
  size_t publications_before_sink = 0;
  sink->during = [&] {
    seen_in_document = Root().child("Attivita").child_value("Descrizione");
    publications_before_sink = apartment.status_publisher->count();
  };
  activity.ImpostaBkgFaxVmEventi(sink);
  activity.ImpostaCodice(3);
  EXPECT_EQ(sink->heard, (std::vector<std::string>{"3 Apertura porta in corso..."}));
  EXPECT_EQ(seen_in_document, "Apertura porta in corso...");
  EXPECT_EQ(publications_before_sink, 1u);
}

TEST_F(CodedValues, ActivityWithoutASinkStoresAndUpdatesThenRaises91) {
  apartment.BuildEmptyDocument();
  QvBkgFaxVmAttivita activity;
  activity.CreaElementoXml(*apartment.context.document, Root());
  try {
    activity.ImpostaCodice(6);
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 91);
  }
  EXPECT_EQ(activity.Codice(), 6);
  EXPECT_STREQ(Root().child("Attivita").child_value("Codice"), "6");
  EXPECT_EQ(apartment.status_publisher->count(), 1u);
}

}  // namespace
}  // namespace qvfax
