// The line engine through the server object, on the manual clock: detect,
// select, open, send, end, close, with real T.30 sessions behind SendNow.
#include <spandsp.h>
#include <tiffio.h>

#include <fstream>

#include <gtest/gtest.h>

#include "engines/pages/header_painter.h"
#include "engines/line/line_bank.h"
#include "engines/pages/bitmap_page.h"
#include "engines/pages/tiff_open.h"
#include "engines/pages/tiff_pages.h"
#include "page_compare.h"
#include "server_fixture.h"
#include "tiff_maker.h"

namespace qvfax {
namespace {

using testing::ExpectSamePages;
using testing::ServerFixture;

line::LineConfig Network() {
  auto config = line::DefaultLineConfig();
  config.speed = 1;  // line time is clock time: the manual clock drives the call
  config.inbox = testing::ScratchPath("inbox");
  config.directory["0699"] = {line::RemoteFax::Answer::kBusy};
  config.directory["0698"] = {line::RemoteFax::Answer::kVoice, 1};
  line::RemoteFax v29;
  v29.v17 = false;
  v29.csi = "V29 ONLY";
  config.directory["0629"] = v29;
  line::RemoteFax noisy;
  noisy.noise_dbm0 = -50;
  config.directory["0648"] = noisy;
  return config;
}

class LineEngine : public ::testing::Test {
 protected:
  void Prepare(bool ecm = true) {
    line::RegisterLineEngine(*f.apartment.context.registry, Network(),
                             [this](std::shared_ptr<line::LineBank> b) { bank = std::move(b); });
    server = &f.CreateWithSink();
    server->TestDialTone(true);
    server->Porta()->ECM()->Codice(ecm ? 3 : 2);
    server->RilevaModem();
    f.apartment.clock->Advance(250);
    server->SelezionaFaxModem();
    server->ApriPorta();
    f.apartment.clock->Advance(250);
    ASSERT_EQ(server->PortStatus()->Codice(), 0);
    sent = testing::MakeFaxTiff(testing::ScratchPath("line-sent.tif"), 3, testing::PageResolution::kFine);
  }

  // Sends and runs the clock until the end step has finished the fax.
  void SendTo(const std::string& number, int64_t limit_ms = 30 * 60 * 1000) {
    server->NumeroFax(number);
    server->FilesTif(sent);
    server->Invia();
    for (int64_t t = 0; t < limit_ms && (server->Attivita()->Codice() != 0 || t == 0); t += 1000) {
      f.apartment.clock->Advance(1000);
    }
    ASSERT_EQ(server->Attivita()->Codice(), 0) << "the fax did not end";
  }

  ServerFixture f;
  QvVavUvaRazUr* server = nullptr;
  std::shared_ptr<line::LineBank> bank;
  std::string sent;
};

class LineEngineEcm : public LineEngine, public ::testing::WithParamInterface<bool> {};

TEST_P(LineEngineEcm, AThreePageFineFaxArrivesPixelForPixel) {
  Prepare(GetParam());
  SendTo("0612345678");
  EXPECT_EQ(server->TRMStatus()->Codice(), 0);
  EXPECT_EQ(server->PagineTrasmesse(), 3);
  EXPECT_EQ(server->IdRemoto(), "+39 06 5550100");
  EXPECT_NE(server->TestoLog().find(GetParam() ? "ECM Attivato" : "ECM Disattivato"), std::string::npos);
  ASSERT_FALSE(bank->LastReceivedFile().empty());
  ExpectSamePages(sent, bank->LastReceivedFile(), 3);
  EXPECT_GT(server->OraDiFineConnessione().days, server->OraDiInizioConnessione().days);
}

INSTANTIATE_TEST_SUITE_P(EcmOnAndOff, LineEngineEcm, ::testing::Bool());

TEST_F(LineEngine, ARemoteThatOnlyDoesV29GivesBaud9600) {
  Prepare();
  server->NumeroFax("0629");
  server->FilesTif(sent);
  server->Invia();
  std::string baud;
  for (int i = 0; i < 600 && baud.empty(); ++i) {
    f.apartment.clock->Advance(1000);
    baud = server->Avanzamento()->Baud();
  }
  EXPECT_EQ(baud, "9600");
  for (int i = 0; i < 600 && server->Attivita()->Codice() != 0; ++i) f.apartment.clock->Advance(1000);
  EXPECT_EQ(server->TRMStatus()->Codice(), 0);
  EXPECT_EQ(server->IdRemoto(), "V29 ONLY");
}

TEST_F(LineEngine, BusyAndVoiceNumbersEndThroughTheEndStep) {
  Prepare();
  SendTo("0699");
  EXPECT_EQ(server->TRMStatus()->Codice(), 6);
  EXPECT_EQ(server->PagineTrasmesse(), 0);
  SendTo("0698");
  EXPECT_EQ(server->TRMStatus()->Codice(), 38);
  EXPECT_EQ(server->Attivita()->Codice(), 0);
}

TEST_F(LineEngine, ACancelInPageTwoEndsTheCallWithStatusFour) {
  Prepare();
  server->NumeroFax("0612345678");
  server->FilesTif(sent);
  server->Invia();
  for (int i = 0; i < 600 && server->Avanzamento()->PageNumber() < 2; ++i) f.apartment.clock->Advance(200);
  ASSERT_EQ(server->Avanzamento()->PageNumber(), 2);
  server->AnnullaFax();
  for (int i = 0; i < 120 && server->Attivita()->Codice() != 0; ++i) f.apartment.clock->Advance(1000);
  EXPECT_EQ(server->TRMStatus()->Codice(), 4);
  EXPECT_EQ(server->PortStatus()->Codice(), 0);
  EXPECT_EQ(server->PagineTrasmesse(), 1);
  EXPECT_EQ(server->Annulla(), 0);
}

TEST_F(LineEngine, ANoisyLineWithEcmStillDeliversExactPages) {
  Prepare();
  SendTo("0648");
  EXPECT_EQ(server->TRMStatus()->Codice(), 0);
  ExpectSamePages(sent, bank->LastReceivedFile(), 3);
}

TEST_F(LineEngine, TheHeaderIsExpandedAndDrawnIntoTheTopRows) {
  Prepare();
  server->IdLocale("QVFAX TEST");
  server->Intestazione()->Attivata(true);
  server->Intestazione()->Altezza(40);
  server->Intestazione()->DimensioneCarattere(10);
  server->ApriPorta();  // the header reaches the control when the port is opened
  f.apartment.clock->Advance(250);
  SendTo("0612345678");
  ASSERT_EQ(server->TRMStatus()->Codice(), 0);
  pages::BitmapPage got;
  ASSERT_EQ(pages::ReadBitmapPage(bank->LastReceivedFile(), 2, got), 0);
  auto ink_in = [&](uint32_t x0, uint32_t x1) {
    for (uint32_t y = 0; y < 40; ++y) {
      for (uint32_t x = x0; x < x1; ++x) {
        if (got.Ink(x, y)) return true;
      }
    }
    return false;
  };
  EXPECT_TRUE(ink_in(0, 576)) << "left";
  EXPECT_TRUE(ink_in(576, 1152)) << "centre";
  EXPECT_TRUE(ink_in(1152, 1728)) << "right";
  ExpectSamePages(sent, bank->LastReceivedFile(), 3, 40);
}

TEST_F(LineEngine, AFaxOfNoPagesRingsAndEndsWithNothingToSend) {
  Prepare();
  sent.clear();
  SendTo("0612345678");
  EXPECT_EQ(server->TRMStatus()->Codice(), 51);
  EXPECT_EQ(server->PagineTrasmesse(), 0);
}

TEST(HeaderText, ExpandsEveryPlaceholder) {
  pages::HeaderText text;
  text.local_id = "QVFAX";
  text.number = "0612345";
  const auto now = OleDate::FromLocal(2026, 12, 5, 9, 7, 30);
  EXPECT_EQ(pages::ExpandHeader("From: %i To: %f", text, 2, 5, now), "From: QVFAX To: 0612345");
  EXPECT_EQ(pages::ExpandHeader("Page %c of %p", text, 2, 5, now), "Page 2 of 5");
  EXPECT_EQ(pages::ExpandHeader("%t, %D", text, 2, 5, now), "09:07, 05/12/2026");
  EXPECT_EQ(pages::ExpandHeader("100%% %x %", text, 1, 1, now), "100% %x %");
}

TEST_F(LineEngine, PagesAFaxMachineCannotSendAreRefusedAtSetFaxPage) {
  Prepare();
  auto& bankref = *bank;
  int32_t fax_id = bankref.CreateFaxObject(1, 1, 3, 1, 1, 1, 1, 1, 1, 1);
  ASSERT_GT(fax_id, 0);
  // A grey page, a page of the wrong width, a truncated file.
  auto write_page = [](const std::string& path, uint32_t width, uint16_t bits, uint16_t photometric) {
    TIFF* t = pages::OpenTiff(path, "w");
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, 10);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, photometric);
    std::vector<uint8_t> row((width * bits + 7) / 8, 0x55);
    for (uint32_t y = 0; y < 10; ++y) TIFFWriteScanline(t, row.data(), y, 0);
    TIFFClose(t);
    return path;
  };
  const std::string grey = write_page(testing::ScratchPath("grey.tif"), 1728, 8, PHOTOMETRIC_MINISBLACK);
  const std::string narrow = write_page(testing::ScratchPath("narrow.tif"), 1000, 1, PHOTOMETRIC_MINISWHITE);
  const std::string whole = testing::MakeFaxTiff(testing::ScratchPath("whole.tif"), 1);
  const std::string truncated = testing::ScratchPath("truncated.tif");
  {
    std::ifstream in(whole, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    // Keep the header and directory, lose most of the image data.
    std::ofstream(truncated, std::ios::binary) << bytes.substr(0, bytes.size() / 3);
  }
  struct Row {
    std::string file;
    int32_t code;
  };
  for (const Row& row : {Row{grey, -106}, Row{narrow, -101}}) {
    bankref.ImageFileName(row.file);
    EXPECT_EQ(bankref.SetFaxPage(fax_id, 1, 11, 1), row.code) << row.file;
  }
  bankref.ImageFileName(truncated);
  EXPECT_LT(bankref.SetFaxPage(fax_id, 1, 11, 1), 0) << "a truncated file";
  EXPECT_EQ(bankref.CreateFaxObject(3, 1, 3, 1, 1, 1, 3, 3, 1, 1), 0);
  EXPECT_EQ(bankref.LastErrorCode(), -104);
  EXPECT_EQ(bankref.CreateFaxObject(2, 1, 3, 1, 1, 1, 1, 1, 3, 1), 0);
  EXPECT_EQ(bankref.LastErrorCode(), -106);
}

}  // namespace
}  // namespace qvfax

namespace qvfax {
namespace {

// A virtual remote calls us: the port shows it receiving, the pages are kept
// as they came, and a call broken off keeps the pages already confirmed.
TEST_F(LineEngine, ACallThatComesInIsReceivedWholeOrInPart) {
  Prepare();
  const std::string port = bank->PortNames().substr(0, bank->PortNames().find(' '));
  struct Row {
    const char* call;
    int abort_after_pages;  // 0: to its end
    int pages;
    bool complete;
    int32_t status;
  } rows[] = {{"whole", 0, 3, true, 0}, {"broken off in page 3", 2, 2, false, 4}};
  for (const auto& row : rows) {
    const std::string file = testing::ScratchPath(std::string("in-") + (row.abort_after_pages ? "cut" : "whole") + ".tif");
    std::optional<core::Reception> heard;
    core::IncomingCall from{"0612345678", "ROSSI", sent};
    ASSERT_EQ(bank->AnswerNow(port, from, file, [&](const core::Reception& r) { heard = r; }), 0) << row.call;
    EXPECT_EQ(bank->AnswerNow(port, from, file, [](const core::Reception&) {}), qbfaxvmec_FER_FAXNOW)
        << "one call at a time";
    EXPECT_EQ(bank->GetPortStatus(port), qbfaxvmps_Receive) << row.call;
    bool aborted = false;
    for (int i = 0; i < 3000 && !heard; ++i) {
      f.apartment.clock->Advance(200);
      // Broken off once the pages it should keep have come, in the next one.
      if (row.abort_after_pages && !aborted && bank->GetPageNumberInt() > row.abort_after_pages) {
        std::string name = port;
        aborted = bank->AbortPort(name) == 0;
      }
    }
    ASSERT_TRUE(heard) << row.call << ": the call did not end";
    EXPECT_EQ(heard->pages, row.pages) << row.call;
    EXPECT_EQ(heard->complete, row.complete) << row.call;
    EXPECT_EQ(heard->status, row.status) << row.call;
    EXPECT_EQ(heard->from.caller_number, "0612345678");
    EXPECT_EQ(heard->port, port);
    EXPECT_EQ(heard->remote_id, line::DefaultLineConfig().any_number.csi);
    EXPECT_EQ(heard->y_dpi, 196);
    EXPECT_EQ(heard->complete, heard->reason.empty()) << heard->reason;
    ExpectSamePages(sent, heard->file, row.pages);
    EXPECT_EQ(bank->GetPortStatus(port), qbfaxvmps_Nothing) << "the port is free again";
  }
}

}  // namespace
}  // namespace qvfax
