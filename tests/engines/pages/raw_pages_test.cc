// Pages copied as they are coded: the same strips, byte for byte, and the
// same pages; anything a fax machine would not read as it is stays out.
#include "engines/pages/raw_pages.h"

#include <tiffio.h>

#include <gtest/gtest.h>

#include "document_maker.h"
#include "engines/pages/bitmap_page.h"
#include "engines/pages/tiff_open.h"
#include "tiff_maker.h"

namespace qvfax::pages {
namespace {

std::vector<uint8_t> RawStrips(const std::string& file, int page) {
  TIFF* tiff = pages::OpenTiff(file, "r");
  TIFFSetDirectory(tiff, static_cast<tdir_t>(page - 1));
  std::vector<uint8_t> all;
  for (tstrip_t s = 0; s < TIFFNumberOfStrips(tiff); ++s) {
    std::vector<uint8_t> strip(1 << 20);
    const tmsize_t n = TIFFReadRawStrip(tiff, s, strip.data(), static_cast<tmsize_t>(strip.size()));
    all.insert(all.end(), strip.begin(), strip.begin() + std::max<tmsize_t>(n, 0));
  }
  TIFFClose(tiff);
  return all;
}

TEST(CodedPages, AreCopiedStripForStripInTheirOrder) {
  const std::string fine = testing::MakeFaxTiff(testing::ScratchPath("raw-fine.tif"), 2, PageResolution::kFine,
                                                PageStyle::kLetter);
  const std::string standard = testing::MakeFaxTiff(testing::ScratchPath("raw-std.tif"), 1, PageResolution::kStandard);
  const std::string out = testing::ScratchPath("raw-out.tif");
  const std::vector<std::pair<std::string, int16_t>> pages = {{fine, 2}, {standard, 1}, {fine, 1}};
  ASSERT_EQ(CopyCodedPages(pages, out), 0);
  for (size_t i = 0; i < pages.size(); ++i) {
    EXPECT_EQ(RawStrips(out, static_cast<int>(i + 1)), RawStrips(pages[i].first, pages[i].second)) << i;
    BitmapPage a, b;
    ASSERT_EQ(ReadBitmapPage(out, static_cast<int32_t>(i + 1), a), 0);
    ASSERT_EQ(ReadBitmapPage(pages[i].first, pages[i].second, b), 0);
    EXPECT_TRUE(a.bits == b.bits && a.y_dpi == b.y_dpi) << i;
  }
}

TEST(CodedPages, OnlyPagesAFaxMachineReadsAsTheyAreQualify) {
  const std::pair<std::string, bool> rows[] = {
      {testing::MakeFaxTiff(testing::ScratchPath("raw-ok.tif"), 1), true},
      {testing::WriteBilevelTiff(testing::ScratchPath("raw-sf.tif"), 1728, 100, 391.0f), true},
      {testing::WriteBilevelTiff(testing::ScratchPath("raw-200.tif"), 1728, 100, 200.0f), false},
      {testing::WriteBilevelTiff(testing::ScratchPath("raw-narrow.tif"), 1700, 100, 196.0f), false},
      {testing::WriteTiledTiff(testing::ScratchPath("raw-grey.tif"), 512, 512), false},
  };
  for (const auto& [file, copyable] : rows) EXPECT_EQ(CopyableAsCoded(file, 1), copyable) << file;
  EXPECT_FALSE(CopyableAsCoded(testing::ScratchPath("raw-missing.tif"), 1));
  EXPECT_NE(CopyCodedPages({{rows[2].first, 1}}, testing::ScratchPath("raw-refused.tif")), 0);
}

}  // namespace
}  // namespace qvfax::pages
