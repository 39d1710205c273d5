// Documents sent in-process on the line engine: what the remote receives is
// what preparation made of them, at the width, resolution and length chosen.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "cli/commands.h"
#include "document_maker.h"
#include "documents/prepare.h"
#include "engines/pages/bitmap_page.h"
#include "engines/pages/tiff_pages.h"
#include "rpc/jsonrpc.h"
#include "tiff_maker.h"

namespace qvfax::cli {
namespace {

using testing::ScratchPath;

// Sends `file` and returns the fax the virtual remote stored.
std::string SendAndReceive(const std::string& file, const std::string& resolution) {
  Common common;
  common.socket = ScratchPath("no-daemon.sock");
  common.json = true;
  SendOptions options;
  options.number = "0612345678";
  options.files = {file};
  options.resolution = resolution;
  ::testing::internal::CaptureStdout();
  const int rc = Send(common, options);
  const std::string said = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(rc, 0) << said;
  const size_t at = said.find("{\"description\"");
  if (at == std::string::npos) return "";
  return rpc::json::parse(said.substr(at, said.find('\n', at) - at)).value("received_file", std::string());
}

TEST(SendDocuments, WhatArrivesIsWhatPreparationMadeAtTheChosenShape) {
  struct Row {
    std::string name;
    std::function<std::string()> make;
    std::string resolution;
    int pages;
    uint32_t rows;  // of each received page: an image is on a page of the paper
  } rows[] = {
      {"pdf", [] { return testing::WritePdf(ScratchPath("send-three.pdf"), 3); }, "fine", 3, 2292},
      {"pdf standard", [] { return testing::WritePdf(ScratchPath("send-std.pdf"), 1); }, "standard", 1, 1146},
      {"tiled", [] { return testing::WriteTiledTiff(ScratchPath("send-tiled.tif"), 1700, 2200); }, "fine", 1, 2292},
      {"grey", [] { return testing::WriteImage(ScratchPath("send-grey.png"), 850, 1100, 100, false); }, "fine", 1, 2292},
      {"colour", [] { return testing::WriteImage(ScratchPath("send-colour.jpg"), 850, 1100, 100, true); }, "fine", 1, 2292},
      {"b4", [] { return testing::WriteBilevelTiff(ScratchPath("send-b4.tif"), 2048, 2700, 196.0f); }, "fine", 1, 2292},
      {"superfine", [] { return testing::WriteBilevelTiff(ScratchPath("send-sf.tif"), 1728, 4400, 391.0f); }, "superfine", 1, 4400},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string file = row.make();
    const std::string received = SendAndReceive(file, row.resolution);
    ASSERT_FALSE(received.empty());
    ASSERT_EQ(pages::CountPages(received), row.pages);

    documents::PrepareOptions options;
    options.format.resolution = *documents::ParseResolution(row.resolution);
    const auto prepared = documents::Prepare({file}, ScratchPath("send-expected-" + std::to_string(row.pages)), options);
    for (int number = 1; number <= row.pages; ++number) {
      pages::BitmapPage got, made;
      ASSERT_EQ(pages::ReadBitmapPage(received, number, got), 0);
      ASSERT_EQ(pages::ReadBitmapPage(prepared.files[0], number, made), 0);
      EXPECT_EQ(got.width, documents::kFaxWidth);
      EXPECT_NEAR(got.rows, row.rows, 2);
      EXPECT_EQ(got.y_dpi, documents::YDpi(options.format.resolution));
      EXPECT_TRUE(got.bits == made.bits) << "page " << number << " differs from what preparation made";
    }
  }
}

}  // namespace
}  // namespace qvfax::cli
