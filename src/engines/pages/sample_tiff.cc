#include "engines/pages/sample_tiff.h"

#include <tiffio.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "engines/pages/tiff_open.h"

namespace qvfax::pages {

namespace {

// A letter-like page: lines of "words" made of small random glyph cells.
bool TextInk(uint32_t x, uint32_t y, int page) {
  const uint32_t line = y / 40, in_line = y % 40;
  if (in_line < 12 || in_line >= 30 || x < 160 || x >= 1568) return false;
  const uint32_t cell = x / 12, in_cell = x % 12;
  uint32_t h = (line * 7919u) ^ (cell * 104729u) ^ (static_cast<uint32_t>(page) * 1299709u);
  h ^= h >> 13;
  h *= 0x5bd1e995u;
  h ^= h >> 15;
  if ((h & 7) == 0 || in_cell >= 9) return false;  // spaces between words and letters
  const uint32_t bit = ((in_line - 12) / 3) * 3 + in_cell / 3;
  return (h >> (bit % 24 + 3)) & 1;
}

// A short letter: seventeen lines from the fifth, each ending where its words run out.
bool LetterInk(uint32_t x, uint32_t y, int page) {
  const uint32_t line = y / 40;
  if (line < 4 || line > 20) return false;
  const uint32_t end = 800 + ((line * 2654435761u + static_cast<uint32_t>(page) * 40503u) >> 7) % 768;
  return x < end && TextInk(x, y, page);
}

}  // namespace

std::string MakeFaxTiff(const std::string& path, int pages, PageResolution resolution, PageStyle style) {
  constexpr uint32_t kWidth = 1728;
  const bool fine = resolution == PageResolution::kFine;
  const uint32_t rows = fine ? 2292 : 1146;
  TIFF* tiff = OpenTiff(path, "w");
  if (!tiff) throw std::runtime_error("cannot write " + path);
  std::vector<unsigned char> row(kWidth / 8);
  for (int page = 0; page < pages; ++page) {
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, kWidth);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, rows);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tiff, TIFFTAG_FILLORDER, FILLORDER_LSB2MSB);
    TIFFSetField(tiff, TIFFTAG_XRESOLUTION, 204.0f);
    TIFFSetField(tiff, TIFFTAG_YRESOLUTION, fine ? 196.0f : 98.0f);
    TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, rows);
    TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    TIFFSetField(tiff, TIFFTAG_PAGENUMBER, page, pages);
    for (uint32_t y = 0; y < rows; ++y) {
      if (style != PageStyle::kBars) {
        std::fill(row.begin(), row.end(), 0);
        const uint32_t text_y = fine ? y / 2 : y;  // the same letter at either resolution
        for (uint32_t x = 0; x < kWidth; ++x) {
          const bool ink = style == PageStyle::kText ? TextInk(x, text_y, page) : LetterInk(x, text_y, page);
          if (ink) row[x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
        }
      } else {
        for (size_t x = 0; x < row.size(); ++x) {
          // Bars whose position moves with the page, so pages differ.
          const bool ink = ((x + static_cast<size_t>(page) * 3) / 4) % 5 == 0 && (y / 40) % 3 != 1;
          row[x] = ink ? 0xFF : 0x00;
        }
      }
      TIFFWriteScanline(tiff, row.data(), y, 0);
    }
    TIFFWriteDirectory(tiff);
  }
  TIFFClose(tiff);
  return path;
}

}  // namespace qvfax::pages
