// qvfax send in-process: files are checked first, then the fax is sent.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "cli/commands.h"
#include "engines/pages/bitmap_page.h"
#include "rpc/jsonrpc.h"
#include "tiff_maker.h"

namespace qvfax::cli {
namespace {

Common InProcess(const std::string& engine) {
  Common common;
  common.socket = testing::ScratchPath("no-daemon.sock");
  common.engine.name = engine;
  common.json = true;
  return common;
}

TEST(SendCommand, RefusesMissingAndNonTiffFilesByName) {
  const std::string text = testing::ScratchPath("notes.txt");
  std::ofstream(text) << "not a fax";
  for (const std::string& file : {testing::ScratchPath("missing.tif"), text}) {
    SendOptions options;
    options.number = "0612345";
    options.files = {file};
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(Send(InProcess("sim"), options), 1) << file;
    const std::string said = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(said.find(file), std::string::npos) << said;
    EXPECT_NE(said.find("\"event\":\"error\""), std::string::npos) << said;
  }
}

TEST(SendCommand, SendsThroughItsOwnBrokerOnTheLineEngine) {
  SendOptions options;
  options.number = "0612345";
  options.files = {testing::MakeFaxTiff(testing::ScratchPath("cli-send.tif"), 2)};
  ::testing::internal::CaptureStdout();
  const int rc = Send(InProcess("line"), options);
  const std::string said = ::testing::internal::GetCapturedStdout();
  ASSERT_EQ(rc, 0) << said;
  EXPECT_NE(said.find("\"event\":\"sent\""), std::string::npos);
  EXPECT_NE(said.find("\"pages\":2"), std::string::npos);
  EXPECT_NE(said.find("\"received_file\":\""), std::string::npos);
}

TEST(SendCommand, ARelativePathIsSentAndTheHeaderIsDrawnOnThePage) {
  const std::string sent = testing::MakeFaxTiff(testing::ScratchPath("cli-relative.tif"), 1,
                                                testing::PageResolution::kFine, pages::PageStyle::kLetter);
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(std::filesystem::path(sent).parent_path());
  SendOptions options;
  options.number = "0612345";
  options.files = {"cli-relative.tif"};
  options.header = "QVFAX HEADER TEST";
  ::testing::internal::CaptureStdout();
  const int rc = Send(InProcess("line"), options);
  const std::string said = ::testing::internal::GetCapturedStdout();
  std::filesystem::current_path(previous);
  ASSERT_EQ(rc, 0) << said;
  const size_t at = said.find("\"event\":\"sent\"");
  ASSERT_NE(at, std::string::npos) << said;
  const size_t line = said.rfind('\n', at);
  const auto event = rpc::json::parse(said.substr(line == std::string::npos ? 0 : line + 1));
  EXPECT_EQ(event.at("pages"), 1);
  pages::BitmapPage a, b;
  ASSERT_EQ(pages::ReadBitmapPage(sent, 1, a), 0);
  ASSERT_EQ(pages::ReadBitmapPage(event.at("received_file").get<std::string>(), 1, b), 0);
  const auto header_end = static_cast<long>(40 * a.Stride());
  EXPECT_FALSE(std::equal(a.bits.begin(), a.bits.begin() + header_end, b.bits.begin())) << "the header is drawn";
  EXPECT_TRUE(std::equal(a.bits.begin() + header_end, a.bits.end(), b.bits.begin() + header_end));
}

}  // namespace
}  // namespace qvfax::cli
