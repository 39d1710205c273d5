// Two SpanDSP terminals on a software line: the pages that arrive are the
// pages that were sent, pixel for pixel.
#include "engines/core/termination_status.h"
#include "engines/line/t30_line.h"

#include <spandsp.h>

#include <gtest/gtest.h>

#include "engines/pages/bitmap_page.h"
#include "engines/pages/tiff_pages.h"
#include "tiff_maker.h"

namespace qvfax::line {
namespace {

struct Outcome {
  std::vector<LineEvent> events;
  int64_t line_ms = 0;
  int bit_rate = 0;
  bool ecm = false;
  std::string remote;
};

Outcome RunCall(T30Line& line) {
  Outcome out;
  while (line.Active()) {
    for (auto& e : line.Step(500)) out.events.push_back(e);
  }
  out.line_ms = line.LineMs();
  out.bit_rate = line.BitRate();
  out.ecm = line.Ecm();
  out.remote = line.RemoteIdent();
  return out;
}

void ExpectSamePages(const std::string& sent, const std::string& received, int pages) {
  ASSERT_EQ(pages::CountPages(received), pages);
  for (int p = 1; p <= pages; ++p) {
    pages::BitmapPage a, b;
    ASSERT_EQ(pages::ReadBitmapPage(sent, p, a), 0);
    ASSERT_EQ(pages::ReadBitmapPage(received, p, b), 0);
    ASSERT_EQ(a.width, b.width) << "page " << p;
    ASSERT_EQ(a.rows, b.rows) << "page " << p;
    EXPECT_TRUE(a.bits == b.bits) << "page " << p << " differs";
  }
}

// Error correction on and off; we call and send, or the remote calls and we receive.
class T30LineTest : public ::testing::TestWithParam<std::tuple<bool, bool>> {};

TEST_P(T30LineTest, AThreePageFineFaxArrivesIdentical) {
  const auto [ecm, remote_calls] = GetParam();
  CallSetup setup;
  setup.ours = {"+39 06 1111", ecm, true, T30_SUPPORT_V17 | T30_SUPPORT_V29 | T30_SUPPORT_V27TER};
  setup.remote = {"REMOTE CSI", ecm, true, T30_SUPPORT_V17 | T30_SUPPORT_V29 | T30_SUPPORT_V27TER};
  setup.remote_calls = remote_calls;
  setup.tx_file = testing::MakeFaxTiff(testing::ScratchPath("t30-sent.tif"), 3, testing::PageResolution::kFine);
  setup.rx_file = testing::ScratchPath(std::string("t30-got") + (ecm ? "-ecm" : "") + (remote_calls ? "-in" : "") + ".tif");
  T30Line line(setup);
  const Outcome out = RunCall(line);
  ASSERT_FALSE(out.events.empty());
  EXPECT_EQ(out.events.front().kind, LineEvent::kConnected);
  EXPECT_EQ(out.events.back().kind, LineEvent::kFinished);
  EXPECT_EQ(out.events.back().completion, T30_ERR_OK);
  EXPECT_EQ(out.events.back().page, 3);
  EXPECT_EQ(out.remote, "REMOTE CSI");
  EXPECT_EQ(out.bit_rate, 14400);
  EXPECT_EQ(out.ecm, ecm);
  EXPECT_GT(out.line_ms, 10'000);
  ExpectSamePages(setup.tx_file, setup.rx_file, 3);
}

INSTANTIATE_TEST_SUITE_P(EcmAndDirection, T30LineTest, ::testing::Combine(::testing::Bool(), ::testing::Bool()));

// A caller that hangs up in its second page leaves us the first, whole.
TEST(T30Line, ACallEndedMidDocumentKeepsTheReceivedPages) {
  CallSetup setup;
  setup.ours = {"US", true, true, T30_SUPPORT_V17 | T30_SUPPORT_V29 | T30_SUPPORT_V27TER};
  setup.remote = {"+39 06 2222", true, true, T30_SUPPORT_V17 | T30_SUPPORT_V29 | T30_SUPPORT_V27TER};
  setup.remote_calls = true;
  setup.tx_file = testing::MakeFaxTiff(testing::ScratchPath("cut-sent.tif"), 3, testing::PageResolution::kFine);
  setup.rx_file = testing::ScratchPath("cut-got.tif");
  T30Line line(setup);
  int pages = 0;
  while (line.Active() && pages < 1) {
    for (const auto& e : line.Step(50)) {
      if (e.kind == LineEvent::kPage) pages = e.page;
    }
  }
  ASSERT_EQ(pages, 1);
  line.Step(100);  // into the second page
  line.HangUp();
  EXPECT_FALSE(line.Active());
  EXPECT_EQ(line.Pages(), 1);
  EXPECT_EQ(line.RemoteIdent(), "+39 06 2222");
  ExpectSamePages(setup.tx_file, setup.rx_file, 1);
}

TEST(T30Line, ARemoteThatOnlyDoesV29TrainsAt9600) {
  CallSetup setup;
  setup.ours = {"A", true, true, T30_SUPPORT_V17 | T30_SUPPORT_V29 | T30_SUPPORT_V27TER};
  setup.remote = {"B", true, true, T30_SUPPORT_V29 | T30_SUPPORT_V27TER};
  setup.tx_file = testing::MakeFaxTiff(testing::ScratchPath("v29-sent.tif"), 1);
  setup.rx_file = testing::ScratchPath("v29-got.tif");
  T30Line line(setup);
  const Outcome out = RunCall(line);
  EXPECT_EQ(out.events.back().completion, T30_ERR_OK);
  EXPECT_EQ(out.bit_rate, 9600);
}

TEST(T30Line, ANoisyLineWithErrorCorrectionStillDeliversExactPages) {
  CallSetup setup;
  setup.ours = {"A", true, true, T30_SUPPORT_V17 | T30_SUPPORT_V29 | T30_SUPPORT_V27TER};
  setup.remote = {"B", true, true, T30_SUPPORT_V17 | T30_SUPPORT_V29 | T30_SUPPORT_V27TER};
  setup.tx_file = testing::MakeFaxTiff(testing::ScratchPath("noisy-sent.tif"), 2, testing::PageResolution::kFine);
  setup.rx_file = testing::ScratchPath("clean-got.tif");
  T30Line clean(setup);
  const Outcome quiet = RunCall(clean);
  setup.noise_dbm0 = -48;
  setup.rx_file = testing::ScratchPath("noisy-got.tif");
  T30Line line(setup);
  const Outcome out = RunCall(line);
  EXPECT_EQ(out.events.back().completion, T30_ERR_OK);
  EXPECT_GT(out.line_ms, quiet.line_ms) << "the noise cost retransmissions";
  ExpectSamePages(setup.tx_file, setup.rx_file, 2);
}

TEST(T30Line, AVoiceLineTimesOutWaitingForFaxTones) {
  CallSetup setup;
  setup.remote_is_fax = false;
  setup.tx_file = testing::MakeFaxTiff(testing::ScratchPath("voice-sent.tif"), 1);
  T30Line line(setup);
  const Outcome out = RunCall(line);
  ASSERT_EQ(out.events.back().kind, LineEvent::kFinished);
  EXPECT_EQ(core::TermStatusFor(out.events.back().completion), 38);
}

TEST(TermStatusFor, MapsCompletionCodesToTerminationStatuses) {
  EXPECT_EQ(core::TermStatusFor(T30_ERR_OK), 0);
  EXPECT_EQ(core::TermStatusFor(T30_ERR_T1_EXPIRED), 38);
  EXPECT_EQ(core::TermStatusFor(T30_ERR_CANNOT_TRAIN), 19);
  EXPECT_EQ(core::TermStatusFor(T30_ERR_CALLDROPPED), 131);
  EXPECT_EQ(core::TermStatusFor(T30_ERR_TX_PHDDEAD), 29);
  EXPECT_EQ(core::TermStatusFor(9999), 2);
}

}  // namespace
}  // namespace qvfax::line
