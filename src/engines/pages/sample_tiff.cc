#include "engines/pages/sample_tiff.h"

#include <tiffio.h>

#include <stdexcept>
#include <vector>


namespace qvfax::pages {

std::string MakeFaxTiff(const std::string& path, int pages, PageResolution resolution) {
  constexpr uint32_t kWidth = 1728;
  const bool fine = resolution == PageResolution::kFine;
  const uint32_t rows = fine ? 2292 : 1146;
  TIFF* tiff = TIFFOpen(path.c_str(), "w");
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
      for (size_t x = 0; x < row.size(); ++x) {
        // Bars whose position moves with the page, so pages differ.
        const bool ink = ((x + static_cast<size_t>(page) * 3) / 4) % 5 == 0 && (y / 40) % 3 != 1;
        row[x] = ink ? 0xFF : 0x00;
      }
      TIFFWriteScanline(tiff, row.data(), y, 0);
    }
    TIFFWriteDirectory(tiff);
  }
  TIFFClose(tiff);
  return path;
}

}  // namespace qvfax::pages
