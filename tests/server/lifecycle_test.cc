#include <unistd.h>

#include <gtest/gtest.h>

#include "components/modem_info_list.h"
#include "components/xarraydb.h"
#include "platform/automation_error.h"
#include "server/control_host.h"
#include "server_fixture.h"
#include "values/coded_values.h"
#include "values/containers.h"
#include "values/intestazione.h"

namespace qvfax {
namespace {

using testing::ServerFixture;

std::string Coded(const char* name, int code, const char* text) {
  return fmt::format("<{0}><Codice>{1}</Codice><Descrizione>{2}</Descrizione></{0}>", name, code, text);
}
std::string Page(const char* name, int w, const char* wt, int l, const char* lt) {
  return fmt::format(
      "<{0}><CodiceWidth>{1}</CodiceWidth><DescrizioneWidth>{2}</DescrizioneWidth>"
      "<CodiceLength>{3}</CodiceLength><DescrizioneLength>{4}</DescrizioneLength></{0}>",
      name, w, wt, l, lt);
}
std::string Colour(int g, const char* gt) {
  return fmt::format(
      "<Colore><CodiceGestione>{0}</CodiceGestione><DescrizioneGestione>{1}</DescrizioneGestione>"
      "<CodiceTipo>1</CodiceTipo><DescrizioneTipo>TRUECOLOR</DescrizioneTipo></Colore>",
      g, gt);
}

std::string ExpectedFreshDocument(const std::string& file_log) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><VavUvaRazUr>VavUvaRazUr";
  xml += file_log.empty() ? "<FileLog/>" : "<FileLog>" + file_log + "</FileLog>";
  xml += "<PagineDaTrasmettere>0</PagineDaTrasmettere><PagineTrasmesse>0</PagineTrasmesse>"
         "<OraDiInizioConnessione>0</OraDiInizioConnessione><OraDiFineConnessione>0</OraDiFineConnessione>"
         "<IdLocale/><IdRemoto/><NumeroFax/><Annulla>0</Annulla><Annullabile>0</Annullabile>"
         "<FilesTif/><FaxId>0</FaxId><PortaPredefinita/><TestDialTone>0</TestDialTone><PercorsoLog/>";
  xml += fmt::format("<ProcessId>{}</ProcessId>", ::getpid());
  xml += Coded("Attivita", 0, "Nessuna") + Coded("Errore", 0, "No errors.") +
         Coded("TRMStatus", 0, "Normal termination") + Coded("PortStatus", -1, "Port Closed");
  xml += "<Speaker><CodiceSpeakerModo>2</CodiceSpeakerModo><DescrizioneSpeakerModo>Dial</DescrizioneSpeakerModo>"
         "<CodiceSpeakerVolume>0</CodiceSpeakerVolume><DescrizioneSpeakerVolume>Low</DescrizioneSpeakerVolume></Speaker>";
  xml += Coded("Dispositivo", 1, "GCLASS1(SFC)") + Coded("ToneDial", -1, "Tone");
  xml += "<Intestazione><Attivata>0</Attivata><Altezza>25</Altezza><NomeCarattere>Courier_New</NomeCarattere>"
         "<DimensioneCarattere>8</DimensioneCarattere><Sinistra>From: %i To: %f</Sinistra>"
         "<Centrale>Page %c of %p</Centrale><Destra>%t, %D</Destra></Intestazione>";
  xml += "<Trasmissione>" + Coded("TipoFax", 1, "NORMAL") + Coded("Compressione", 1, "No change") +
         Coded("BaudSend", 1, "NOCHANGE") + Coded("ECM", 1, "No change") + Coded("BFT", 1, "No change") +
         Page("Pagina", 1, "No change", 1, "No change") + Coded("Risoluzione", 1, "No Change") +
         Colour(1, "No change") + "</Trasmissione>";
  xml += "<Porta>" + Coded("CompressioneMin", 2, "1DMH") + Coded("CompressioneMax", 5, "2DMMR") +
         Coded("BaudSendMin", 2, "2400") + Coded("BaudSendMax", 7, "14400") + Coded("ECM", 3, "Attivato") +
         Coded("BFT", 2, "Disattivato") + Page("PaginaMin", 2, "1728", 2, "A4") +
         Page("PaginaMax", 4, "2432", 4, "UNLIMITED") + Coded("RisoluzioneMin", 2, "Bassa  (204 x 98 dpi)") +
         Coded("RisoluzioneMax", 3, "Alta (204 x 196 dpi)") + Colour(1, "No change") + "</Porta>";
  xml += "<Avanzamento><Baud/><PageNumber>0</PageNumber><PageReady/><Status/></Avanzamento>"
         "<InfoFaxModem/><InfoFaxModems/></VavUvaRazUr>";
  return xml;
}

TEST(ServerLifecycle, XmlAfterConstructionIsTheWholeStartingDocument) {
  ServerFixture f;
  auto& server = f.Create();
  EXPECT_EQ(server.Xml(), ExpectedFreshDocument(""));
  // Built once and published once, under its name.
  EXPECT_EQ(f.StatusPublisher().count(), 1u);
  EXPECT_EQ(f.StatusPublisher().last(), server.Xml());
}

TEST(ServerLifecycle, ConstructionPresetsTheControlAndRecordsTheRuntimeSettings) {
  ServerFixture f;
  f.Create();
  const auto& runtime = f.apartment.context.runtime;
  EXPECT_FALSE(runtime.task_visible);
  EXPECT_EQ(runtime.request_pending_timeout_ms, 20000);
  EXPECT_EQ(runtime.server_busy_timeout_ms, 40000);
  EXPECT_FALSE(runtime.server_busy_raises_error);
  EXPECT_EQ(f.fax->calls.front(), "DeviceName=GCLASS1(SFC)");
  EXPECT_TRUE(f.fax->Advised());
  EXPECT_EQ(f.server->XArrayDBLog()->UpperBound(1), -1);
  EXPECT_EQ(f.server->InfoFaxModem(), nullptr);
  ASSERT_EQ(f.publishers.size(), 2u);
  EXPECT_EQ(f.publishers[0]->name, "QvVavUvaRazUr");
  EXPECT_EQ(f.publishers[1]->name, "QvVavUvaRazUr_Log");
}

TEST(ServerLifecycle, ConstructionFailsWhenAComponentIsNotRegistered) {
  for (const char* missing : {kFaxControlClass, kFaxManagerLibrary, "QvNrDllTimer.Timer"}) {
    ServerFixture f;
    f.apartment.context.registry->Unregister(missing);
    try {
      f.Create();
      FAIL() << missing;
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), 429) << missing;
    }
    // Nothing of the failed object stays connected or counted.
    EXPECT_FALSE(f.fax->Advised()) << missing;
    EXPECT_EQ(f.apartment.context.live_servers, 0) << missing;
  }
}

TEST(ServerLifecycle, InizializzaRebuildsTheDocumentAndLogsToTheFileOnly) {
  ServerFixture f;
  auto& server = f.CreateWithSink();
  server.PercorsoLog("/var/log/qvfax");
  server.NumeroFax("0612345");
  server.Inizializza();
  EXPECT_EQ(f.log_file->calls, (std::vector<std::string>{"ApplicationName=QvNrVavUvaRazUr",
                                                          "Folder=/var/log/qvfax", "Enabled=True", "Open"}));
  ASSERT_EQ(f.log_file->lines.size(), 1u);
  EXPECT_EQ(f.log_file->lines[0].text, "Server inizializzato");
  EXPECT_EQ(f.log_file->lines[0].kind, 3);
  EXPECT_EQ(server.TestoLog(), "");
  EXPECT_EQ(server.XArrayDBLog()->UpperBound(1), -1);
  auto doc = f.apartment.context.document;
  EXPECT_STREQ(doc->Root().child_value("FileLog"), "/var/log/qvfax/QvNrVavUvaRazUr.log");
  EXPECT_STREQ(doc->Root().child_value("NumeroFax"), "0612345");
  EXPECT_STREQ(doc->Root().child_value("PercorsoLog"), "/var/log/qvfax");
  EXPECT_EQ(f.StatusPublisher().count(), 2u);
}

TEST(ServerLifecycle, FieldsShowInTheDocumentOnlyAfterTheNextBuild) {
  ServerFixture f;
  auto& server = f.CreateWithSink();
  server.NumeroFax("0612345");
  server.TestDialTone(true);
  EXPECT_STREQ(f.apartment.context.document->Root().child_value("NumeroFax"), "");
  server.Inizializza();
  EXPECT_STREQ(f.apartment.context.document->Root().child_value("TestDialTone"), "-1");
}

TEST(ServerLifecycle, TerminaClosesTheLogAndLaterCommandsStillRun) {
  ServerFixture f;
  auto& server = f.CreateWithSink();
  server.Inizializza();
  server.Termina();
  EXPECT_EQ(f.log_file->lines.back().text, "Server terminato");
  EXPECT_EQ(f.log_file->lines.back().kind, 3);
  EXPECT_EQ(f.log_file->calls.back(), "Close(0)");
  server.ApriPorta();
  EXPECT_EQ(server.Attivita()->Codice(), 3);
  EXPECT_EQ(f.sink->heard.back(), "Attivita 3");
}

TEST(ServerLifecycle, ASecondServerOnTheThreadKeepsTheSharedObjectsAlive) {
  ServerFixture f;
  f.Create();
  auto second = std::make_unique<QvVavUvaRazUr>();
  EXPECT_NE(f.apartment.context.resources, nullptr);
  second.reset();
  EXPECT_NE(f.apartment.context.resources, nullptr);
  EXPECT_NE(f.apartment.context.control_host, nullptr);
  f.server.reset();
  EXPECT_EQ(f.apartment.context.resources, nullptr);
  EXPECT_EQ(f.apartment.context.control_host, nullptr);
  EXPECT_FALSE(f.fax->Advised());
}

}  // namespace
}  // namespace qvfax
