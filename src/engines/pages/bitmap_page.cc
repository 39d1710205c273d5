#include "engines/pages/bitmap_page.h"

#include <tiffio.h>

#include <cstring>
#include <filesystem>
#include <memory>

#include "engines/pages/tiff_open.h"
#include "engines/pages/tiff_pages.h"
#include "values/enums.h"

namespace qvfax::pages {

namespace {

struct TiffCloser {
  void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

bool FaxWidth(uint32_t width) { return width == 1728 || width == 2048 || width == 2432; }

}  // namespace

int32_t ReadBitmapPage(const std::string& file, int32_t page, BitmapPage& out) {
  if (const int32_t error = CheckPage(file, page)) return error;
  std::unique_ptr<TIFF, TiffCloser> tiff(OpenTiff(file, "rm"));
  if (!tiff) return qbfaxvmec_FAX_ERR_UNRECOGNIZED_FILEFORMAT;
  if (!TIFFSetDirectory(tiff.get(), static_cast<tdir_t>(page - 1))) return qbfaxvmec_FER_BAD_PAGENUM;
  uint16_t bits_per_sample = 1, samples = 1, photometric = PHOTOMETRIC_MINISWHITE;
  uint32_t width = 0, rows = 0;
  TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_BITSPERSAMPLE, &bits_per_sample);
  TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetField(tiff.get(), TIFFTAG_PHOTOMETRIC, &photometric);
  TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &rows);
  if (bits_per_sample != 1 || samples != 1) return qbfaxvmec_FER_INCOMPATIBLE_COLOR_MODE;
  if (!FaxWidth(width)) return qbfaxvmec_FER_INCOMPATIBLE_WIDTH;
  // A fax page is at most a few metres long; refuse what no fax machine could print.
  if (rows == 0 || rows > 32768) return qbfaxvmec_FER_INCOMPATIBLE_LENGTH;
  float x_dpi = 204.0f, y_dpi = 196.0f;
  uint16_t unit = RESUNIT_INCH;
  TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_RESOLUTIONUNIT, &unit);
  if (TIFFGetField(tiff.get(), TIFFTAG_XRESOLUTION, &x_dpi) && unit == RESUNIT_CENTIMETER) x_dpi *= 2.54f;
  if (TIFFGetField(tiff.get(), TIFFTAG_YRESOLUTION, &y_dpi) && unit == RESUNIT_CENTIMETER) y_dpi *= 2.54f;
  if (TIFFScanlineSize(tiff.get()) != static_cast<tmsize_t>((width + 7) / 8)) return qbfaxvmec_FER_FILE_SEEKERROR;
  out.width = width;
  out.rows = rows;
  out.x_dpi = x_dpi;
  // The three vertical resolutions of fax, whatever rounding the file's writer did.
  out.y_dpi = y_dpi > 300.0f ? 391.0f : y_dpi > 150.0f ? 196.0f : 98.0f;
  out.bits.assign(static_cast<size_t>(rows) * out.Stride(), 0);
  for (uint32_t y = 0; y < rows; ++y) {
    if (TIFFReadScanline(tiff.get(), out.Row(y), y, 0) < 0) return qbfaxvmec_FER_FILE_SEEKERROR;
  }
  if (photometric == PHOTOMETRIC_MINISBLACK) {
    for (auto& byte : out.bits) byte = static_cast<uint8_t>(~byte);
  }
  return 0;
}

int32_t WriteFaxDocument(const std::string& file, const std::vector<BitmapPage>& pages) {
  FaxTiffWriter writer(file, static_cast<uint16_t>(pages.size()));
  if (!writer.ok()) return qbfaxvmec_FER_FILE_WRITE;
  for (const auto& page : pages) {
    if (const int32_t error = writer.Add(page)) return error;
  }
  return writer.Close();
}

FaxTiffWriter::FaxTiffWriter(const std::string& file, uint16_t pages)
    : tiff_(OpenTiff(file, "w")), pages_(pages) {}

FaxTiffWriter::~FaxTiffWriter() { Close(); }

int32_t FaxTiffWriter::Add(const BitmapPage& page) {
  TIFF* t = static_cast<TIFF*>(tiff_);
  if (!t) return qbfaxvmec_FER_FILE_WRITE;
  TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, page.width);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, page.rows);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(t, TIFFTAG_FILLORDER, FILLORDER_LSB2MSB);
  TIFFSetField(t, TIFFTAG_XRESOLUTION, page.x_dpi);
  TIFFSetField(t, TIFFTAG_YRESOLUTION, page.y_dpi);
  TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, page.rows);
  TIFFSetField(t, TIFFTAG_PAGENUMBER, written_, pages_);
  std::vector<uint8_t> row(page.Stride());
  for (uint32_t y = 0; y < page.rows; ++y) {
    std::memcpy(row.data(), page.Row(y), row.size());
    if (TIFFWriteScanline(t, row.data(), y, 0) < 0) return qbfaxvmec_FER_FILE_WRITE;
  }
  if (!TIFFWriteDirectory(t)) return qbfaxvmec_FER_FILE_WRITE;
  ++written_;
  return 0;
}

int32_t FaxTiffWriter::Close() {
  if (!tiff_) return 0;
  TIFF* t = static_cast<TIFF*>(tiff_);
  tiff_ = nullptr;
  // TIFFClose flushes; a full disk shows here.
  const bool flushed = TIFFFlush(t) != 0;
  TIFFClose(t);
  return flushed ? 0 : qbfaxvmec_FER_FILE_WRITE;
}

}  // namespace qvfax::pages
