// Sending through the server object on the simulated bank, on the manual clock.
#include <gtest/gtest.h>

#include "engines/core/reception.h"
#include "page_compare.h"
#include "server_fixture.h"
#include "status/status_document.h"
#include "tiff_maker.h"
#include "values/enums.h"

namespace qvfax {
namespace {

using testing::ServerFixture;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    const size_t end = text.find("\r\n", start);
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

class SimSend : public ::testing::Test {
 protected:
  void Prepare(sim::Config config = sim::DefaultConfig()) {
    f.UseSimulatedBank(std::move(config));
    server = &f.CreateWithSink();
    server->RilevaModem();
    f.apartment.clock->Advance(250);
    server->SelezionaFaxModem();
    server->ApriPorta();
    f.apartment.clock->Advance(250);
    ASSERT_EQ(server->PortStatus()->Codice(), 0);
    first = testing::MakeFaxTiff(testing::ScratchPath("first.tif"), 2);
    second = testing::MakeFaxTiff(testing::ScratchPath("second.tif"), 3);
    f.sink->heard.clear();
  }

  ServerFixture f;
  QvVavUvaRazUr* server = nullptr;
  std::string first, second;
};

TEST_F(SimSend, TwoFilesOfTwoAndThreePagesFromDetectionToClosing) {
  Prepare();
  server->NumeroFax("0612345678");
  server->FilesTif(first + "+" + second);
  EXPECT_EQ(server->PagineDaTrasmettere(), 5);
  std::vector<std::string> at_send_end;
  size_t rows_at_send_end = 0;
  struct EndSink : testing::RecordingSink {
    std::function<void()> on_end;
    void FineInvio() override {
      RecordingSink::FineInvio();
      on_end();
    }
  };
  auto sink = std::make_shared<EndSink>();
  sink->on_end = [&] { rows_at_send_end = static_cast<size_t>(server->XArrayDBLog()->UpperBound(1) + 1); };
  server->BkgFaxVmEventi(sink);

  server->Invia();
  f.apartment.clock->Advance(60'000);
  EXPECT_EQ(server->Annullabile(), true);
  EXPECT_EQ(server->Attivita()->Codice(), 6);
  f.apartment.clock->Advance(15'000);

  const auto journal = f.bank->Journal();
  std::vector<std::string> pages(journal.begin() + 1, journal.begin() + 6);
  EXPECT_EQ(pages, (std::vector<std::string>{
                       "SetFaxPage(1, 1, 11, 1) " + first, "SetFaxPage(1, 2, 11, 2) " + first,
                       "SetFaxPage(1, 3, 11, 1) " + second, "SetFaxPage(1, 4, 11, 2) " + second,
                       "SetFaxPage(1, 5, 11, 3) " + second}));
  EXPECT_EQ(journal.back(), "DeleteFaxObject(1)");

  std::vector<std::string> expected = {
      "***********************************************",
      "****         Invio Nuovo Fax               ****",
      "***********************************************",
      "Fax iniziato alle: 05/12/2026 09.30.00",
      "Numero fax composto: 0612345678",
      "Parametro di invio TipoFax = 1 - NORMAL",
      "Parametro di invio Risoluzione = 1 - No Change",
      "Parametro di invio Pagina Larghezza = 1 - No change",
      "Parametro di invio Pagina Lunghezza = 1 - No change",
      "Parametro di invio Compressione = 1 - No change",
      "Parametro di invio ECM = 1 - No change",
      "Parametro di invio BFT = 1 - No change",
      "Parametro di invio Gestione Colore = 1 - No change",
      "Parametro di invio Colore Tipo = 1 - TRUECOLOR",
      "Dialing on port ttyS0 ...",
      "Connected to '+39 06 5550100' on port ttyS0",
      "Starting to send on port ttyS0 ...",
  };
  for (int page = 1; page <= 5; ++page) {
    expected.push_back("Starting page " + std::to_string(page) + " on port ttyS0 ...");
    expected.push_back("Ending page " + std::to_string(page) + " on port ttyS0 ...");
  }
  const std::vector<std::string> tail = {
      "Sending finished to '+39 06 5550100' on port ttyS0",
      "Transmission terminated on port ttyS0",
      "Termination status (0) Normal termination on port ttyS0",
      "Connected for 64500 milliseconds on port ttyS0",
      "Pages sent 5 on port ttyS0",
      "ECM Attivato",
      "BFT Disattivato",
      "Fax completato alle: 05/12/2026 09.31.12",
      "************************************************",
      "****         Fine trasmissione fax          ****",
      "************************************************",
  };
  expected.insert(expected.end(), tail.begin(), tail.end());
  EXPECT_EQ(Lines(server->TestoLog()), expected);
  EXPECT_EQ(f.LogPublisher().last(), server->TestoLog());

  EXPECT_EQ(sink->heard, (std::vector<std::string>{"Attivita 6", "InizioInvio", "FineInvio", "Attivita 0"}));
  // The table also holds the 25 lines of the port opening: it is emptied only at the end of a fax.
  EXPECT_EQ(rows_at_send_end, 25 + expected.size()) << "the table holds the fax's lines when the sink hears of the end";
  EXPECT_EQ(server->XArrayDBLog()->UpperBound(1), -1);
  EXPECT_EQ(server->FaxID(), 0);
  EXPECT_FALSE(server->Annullabile());
  EXPECT_STREQ(f.apartment.context.document->Root().child_value("Annullabile"), "0");
  EXPECT_EQ(server->TRMStatus()->Codice(), 0);
  EXPECT_EQ(server->PagineTrasmesse(), 5);
  EXPECT_EQ(server->IdRemoto(), "+39 06 5550100");
  EXPECT_EQ(server->OraDiInizioConnessione().LogText(), "05/12/2026 09.30.00");
  EXPECT_EQ(server->OraDiFineConnessione().LogText(), "05/12/2026 09.31.12");

  server->ChiudiPorta();
  f.apartment.clock->Advance(250);
  EXPECT_EQ(server->PortStatus()->Codice(), -1);
  EXPECT_EQ(Lines(server->TestoLog()).back(), "ttyS0 was closed");
}

TEST_F(SimSend, ABusyNumberEndsWithStatusSix) {
  auto config = sim::DefaultConfig();
  config.remotes["0699"] = sim::Remote{sim::Answer::kBusy};
  Prepare(config);
  server->NumeroFax("0699");
  server->FilesTif(first);
  server->Invia();
  f.apartment.clock->Advance(10'000);
  EXPECT_EQ(server->TRMStatus()->Codice(), 6);
  EXPECT_EQ(server->TRMStatus()->Descrizione(), "The remote station is busy");
  EXPECT_EQ(server->PagineTrasmesse(), 0);
  EXPECT_EQ(server->OraDiFineConnessione(), server->OraDiInizioConnessione());
  EXPECT_EQ(server->Attivita()->Codice(), 0);
}

TEST_F(SimSend, ACancelDuringTheCallAbortsItOnceAndRepeatsWhileDisconnecting) {
  auto config = sim::DefaultConfig();
  config.timing.hangup_ms = 40'000;  // a line slow to release
  Prepare(config);
  server->NumeroFax("0612345678");
  server->FilesTif(second);
  server->Invia();
  f.apartment.clock->Advance(25'000);  // in page 2
  const size_t before = Lines(server->TestoLog()).size();
  server->AnnullaFax();
  f.apartment.clock->Advance(250);
  EXPECT_EQ(server->Annulla(), -1);
  // What the cancel logs is the server's own test; here, that the bank was in page 2.
  const auto lines = Lines(server->TestoLog());
  ASSERT_GT(lines.size(), before);
  EXPECT_EQ(lines[before], "Page Number: 2");
  f.apartment.clock->Advance(250);
  EXPECT_EQ(Lines(server->TestoLog()).back(), "Abort disconnecting!!!");
  f.apartment.clock->Advance(45'000);
  const auto all = Lines(server->TestoLog());
  EXPECT_EQ(std::count(all.begin(), all.end(), "Page Number: 2"), 1);
  EXPECT_EQ(std::count(all.begin(), all.end(), "Abort disconnecting!!!"), 3);
  EXPECT_EQ(server->TRMStatus()->Codice(), 4);
  EXPECT_EQ(server->PagineTrasmesse(), 1);
  EXPECT_EQ(server->PortStatus()->Codice(), 0);
  EXPECT_EQ(server->Attivita()->Codice(), 0);
  EXPECT_EQ(server->Annulla(), 0);
}

// A fax is delivered only when the remote confirmed every page: a line lost
// at a page, and a remote that rejects the last pages yet ends the call
// normally, both leave the pages confirmed before and an error in page transmission.
struct PageFailure {
  const char* name;
  int32_t fail_at_page, reject_from_page;
  int32_t status, pages_sent;
};

class SimPageFailures : public SimSend, public ::testing::WithParamInterface<PageFailure> {};

TEST_P(SimPageFailures, EndWithThePagesConfirmedAndNoSuccess) {
  auto config = sim::DefaultConfig();
  config.other_numbers.fail_at_page = GetParam().fail_at_page;
  config.other_numbers.reject_from_page = GetParam().reject_from_page;
  Prepare(config);
  server->NumeroFax("0612345678");
  server->FilesTif(second);
  server->Invia();
  f.apartment.clock->Advance(120'000);
  EXPECT_EQ(server->TRMStatus()->Codice(), GetParam().status);
  EXPECT_EQ(server->PagineTrasmesse(), GetParam().pages_sent);
  EXPECT_EQ(server->Attivita()->Codice(), 0);
  const bool finished = server->TestoLog().find("Sending finished to") != std::string::npos;
  EXPECT_EQ(finished, GetParam().status == 0) << "SendFinished only for a delivered fax";
}

INSTANTIATE_TEST_SUITE_P(SimSend, SimPageFailures,
                         ::testing::Values(PageFailure{"all_confirmed", 0, 0, 0, 3},
                                           PageFailure{"line_lost_at_page_3", 3, 0, 21, 2},
                                           PageFailure{"last_page_rejected", 0, 3, 21, 2},
                                           PageFailure{"every_page_rejected", 0, 1, 21, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimSend, AMissingFileCountsAsItsErrorCodeAndNoFaxIsCreated) {
  Prepare();
  server->NumeroFax("0612345678");
  const std::string missing = testing::ScratchPath("missing.tif");
  server->FilesTif(first + "+" + missing);
  EXPECT_EQ(server->PagineDaTrasmettere(), 2 - 150);
  server->Invia();
  f.apartment.clock->Advance(1050);
  const auto lines = Lines(server->TestoLog());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Can't create fax object! Error code: 0-No errors."), lines.end());
  EXPECT_TRUE(f.bank->Journal().empty());
  EXPECT_EQ(server->Attivita()->Codice(), 0);
  EXPECT_EQ(server->FaxID(), 0);
}

}  // namespace
}  // namespace qvfax

namespace qvfax {
namespace {

// Scripted calls in: whole, the caller dropping the line in page 2, and a
// call broken off by us; each keeps the pages that came, as they were sent.
TEST_F(SimSend, ScriptedCallsInKeepThePagesThatCame) {
  auto config = sim::DefaultConfig();
  sim::Remote drops;
  drops.fail_at_page = 2;
  drops.station_id = "DROPS";
  config.remotes["0600"] = drops;
  Prepare(config);
  const std::string port = f.bank->PortNames().substr(0, f.bank->PortNames().find(' '));
  struct Row {
    const char* call;
    const char* from;
    bool abort_in_page_3;
    int pages;
    int32_t status;
  } rows[] = {{"whole", "0612345678", false, 3, 0}, {"dropped", "0600", false, 1, 21}, {"broken off", "0611", true, 2, 4}};
  for (const auto& row : rows) {
    const std::string file = testing::ScratchPath(std::string("sim-in-") + row.from + ".tif");
    std::optional<core::Reception> heard;
    ASSERT_EQ(f.bank->AnswerNow(port, {row.from, "", second}, file, [&](const core::Reception& r) { heard = r; }), 0);
    EXPECT_EQ(f.bank->GetPortStatus(port), qbfaxvmps_Receive);
    for (int i = 0; i < 600 && !heard; ++i) {
      f.apartment.clock->Advance(250);
      std::string name = port;
      if (row.abort_in_page_3 && f.bank->GetPageNumberInt() == 3) f.bank->AbortPort(name);
    }
    ASSERT_TRUE(heard) << row.call;
    EXPECT_EQ(heard->pages, row.pages) << row.call;
    EXPECT_EQ(heard->status, row.status) << row.call;
    EXPECT_EQ(heard->complete, row.pages == 3) << row.call;
    EXPECT_EQ(heard->remote_id, row.pages == 1 ? "DROPS" : "+39 06 5550100") << row.call;
    testing::ExpectSamePages(second, heard->file, row.pages);
    EXPECT_EQ(f.bank->GetPortStatus(port), qbfaxvmps_Nothing) << row.call;
  }
}

}  // namespace
}  // namespace qvfax
