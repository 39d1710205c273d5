// The page reader fed damaged TIFF files: every truncation and thousands of
// seeded random mutations of a good fax page must give a page or an error
// code, never a crash (the sanitizer build runs this too).
#include <tiffio.h>

#include <fstream>
#include <random>
#include <sstream>

#include <gtest/gtest.h>

#include "engines/pages/bitmap_page.h"
#include "engines/pages/tiff_open.h"
#include "engines/pages/tiff_pages.h"
#include "tiff_maker.h"

namespace qvfax {
namespace {

std::string SmallFaxPage(const std::string& path, uint16_t compression) {
  TIFF* t = pages::OpenTiff(path, "w");
  for (int page = 0; page < 2; ++page) {
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 1728);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, 48);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_COMPRESSION, compression);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 16);
    TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    std::vector<uint8_t> row(216);
    for (uint32_t y = 0; y < 48; ++y) {
      for (size_t x = 0; x < row.size(); ++x) row[x] = static_cast<uint8_t>((x * 37 + y * 11 + page) & 0xA5);
      TIFFWriteScanline(t, row.data(), y, 0);
    }
    TIFFWriteDirectory(t);
  }
  TIFFClose(t);
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

// Reads every page it can; returns how many pages read cleanly.
int ReadAll(const std::string& path) {
  const int32_t pages = pages::CountPages(path);
  int good = 0;
  for (int32_t p = 1; p <= std::min(pages, 3); ++p) {
    pages::BitmapPage page;
    const int32_t code = pages::ReadBitmapPage(path, p, page);
    if (code == 0) {
      EXPECT_EQ(page.bits.size(), static_cast<size_t>(page.rows) * page.Stride());
      ++good;
    } else {
      EXPECT_LT(code, 0);
    }
  }
  return good;
}

class PageReaderFuzz : public ::testing::TestWithParam<uint16_t> {};

TEST_P(PageReaderFuzz, DamagedFilesGiveErrorCodesNotCrashes) {
  const std::string good_path = testing::ScratchPath("fuzz-good.tif");
  const std::string bytes = SmallFaxPage(good_path, GetParam());
  ASSERT_EQ(ReadAll(good_path), 2);
  const std::string damaged = testing::ScratchPath("fuzz-damaged.tif");
  auto write = [&](const std::string& data) { std::ofstream(damaged, std::ios::binary | std::ios::trunc) << data; };

  for (size_t length = 0; length < bytes.size(); length += 7) {
    write(bytes.substr(0, length));
    ReadAll(damaged);
  }
  std::mt19937 random(20261205u + GetParam());
  for (int round = 0; round < 1000; ++round) {
    std::string data = bytes;
    const int flips = 1 + static_cast<int>(random() % 8);
    for (int i = 0; i < flips; ++i) {
      const size_t at = random() % data.size();
      // Mostly the header and directories, where the structure lives.
      const size_t where = (random() % 2) ? at % std::min<size_t>(data.size(), 64) : at;
      data[where] = static_cast<char>(random());
    }
    write(data);
    ReadAll(damaged);
  }
}

INSTANTIATE_TEST_SUITE_P(Codings, PageReaderFuzz,
                         ::testing::Values(uint16_t{COMPRESSION_CCITTFAX4}, uint16_t{COMPRESSION_CCITTFAX3},
                                           uint16_t{COMPRESSION_NONE}));

}  // namespace
}  // namespace qvfax
