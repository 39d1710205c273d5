#include "engines/pages/raw_pages.h"

#include <tiffio.h>

#include <cmath>
#include <map>
#include <memory>

#include "engines/pages/tiff_open.h"
#include "values/enums.h"

namespace qvfax::pages {

namespace {

using TiffPtr = std::unique_ptr<TIFF, void (*)(TIFF*)>;

TiffPtr OpenForReading(const std::string& file) {
  return TiffPtr(OpenTiff(file, "rm"), [](TIFF* t) {
    if (t) TIFFClose(t);
  });
}

float Dpi(TIFF* tiff, ttag_t tag) {
  float value = 0;
  uint16_t unit = RESUNIT_INCH;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_RESOLUTIONUNIT, &unit);
  if (!TIFFGetField(tiff, tag, &value)) return 0;
  return unit == RESUNIT_CENTIMETER ? value * 2.54f : value;
}

bool Copyable(TIFF* tiff) {
  uint16_t compression = 0, bits = 1, samples = 1, photometric = PHOTOMETRIC_MINISWHITE, planar = PLANARCONFIG_CONTIG;
  uint32_t width = 0;
  TIFFGetField(tiff, TIFFTAG_COMPRESSION, &compression);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
  if (compression != COMPRESSION_CCITTFAX3 && compression != COMPRESSION_CCITTFAX4) return false;
  if (bits != 1 || samples != 1 || photometric != PHOTOMETRIC_MINISWHITE || TIFFIsTiled(tiff)) return false;
  if (width != 1728 && width != 2048 && width != 2432) return false;
  const float x = Dpi(tiff, TIFFTAG_XRESOLUTION), y = Dpi(tiff, TIFFTAG_YRESOLUTION);
  const bool fax_y = std::abs(y - 98.0f) < 0.5f || std::abs(y - 196.0f) < 0.5f || std::abs(y - 391.0f) < 0.5f;
  return std::abs(x - 204.0f) < 0.5f && fax_y;
}

template <typename T>
void CopyTag(TIFF* in, TIFF* out, ttag_t tag) {
  T value{};
  if (TIFFGetField(in, tag, &value)) TIFFSetField(out, tag, value);
}

bool CopyPage(TIFF* in, TIFF* out, uint16_t index, uint16_t count) {
  // The compression first: the coding options are tags of its codec, and
  // libtiff knows them only once the codec is chosen.
  for (ttag_t tag : {TIFFTAG_COMPRESSION, TIFFTAG_BITSPERSAMPLE, TIFFTAG_SAMPLESPERPIXEL, TIFFTAG_PHOTOMETRIC,
                     TIFFTAG_FILLORDER, TIFFTAG_RESOLUTIONUNIT}) {
    CopyTag<uint16_t>(in, out, tag);
  }
  for (ttag_t tag : {TIFFTAG_IMAGEWIDTH, TIFFTAG_IMAGELENGTH, TIFFTAG_ROWSPERSTRIP, TIFFTAG_GROUP3OPTIONS,
                     TIFFTAG_GROUP4OPTIONS}) {
    CopyTag<uint32_t>(in, out, tag);
  }
  CopyTag<float>(in, out, TIFFTAG_XRESOLUTION);
  CopyTag<float>(in, out, TIFFTAG_YRESOLUTION);
  TIFFSetField(out, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
  TIFFSetField(out, TIFFTAG_PAGENUMBER, index, count);
  std::vector<uint8_t> strip;
  for (tstrip_t s = 0; s < TIFFNumberOfStrips(in); ++s) {
    uint64_t* sizes = nullptr;
    if (!TIFFGetField(in, TIFFTAG_STRIPBYTECOUNTS, &sizes) || !sizes) return false;
    strip.resize(static_cast<size_t>(sizes[s]));
    if (TIFFReadRawStrip(in, s, strip.data(), static_cast<tmsize_t>(strip.size())) != static_cast<tmsize_t>(strip.size())) {
      return false;
    }
    if (TIFFWriteRawStrip(out, s, strip.data(), static_cast<tmsize_t>(strip.size())) < 0) return false;
  }
  return TIFFWriteDirectory(out) != 0;
}

}  // namespace

bool CopyableAsCoded(const std::string& file, int page) { return CodedPageShape(file, page).has_value(); }

std::optional<CodedShape> CodedPageShape(const std::string& file, int page) {
  auto tiff = OpenForReading(file);
  if (!tiff || !TIFFSetDirectory(tiff.get(), static_cast<tdir_t>(page - 1)) || !Copyable(tiff.get())) return std::nullopt;
  CodedShape shape;
  TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &shape.width);
  shape.y_dpi = Dpi(tiff.get(), TIFFTAG_YRESOLUTION);
  return shape;
}

int32_t CopyCodedPages(const std::vector<std::pair<std::string, int16_t>>& pages, const std::string& out) {
  TiffPtr document(OpenTiff(out, "w"), [](TIFF* t) {
    if (t) TIFFClose(t);
  });
  if (!document) return qbfaxvmec_FER_FILE_WRITE;
  std::map<std::string, TiffPtr> open;
  const auto count = static_cast<uint16_t>(pages.size());
  for (uint16_t index = 0; index < count; ++index) {
    const auto& [file, page] = pages[index];
    auto it = open.find(file);
    if (it == open.end()) it = open.emplace(file, OpenForReading(file)).first;
    TIFF* in = it->second.get();
    if (!in || !TIFFSetDirectory(in, static_cast<tdir_t>(page - 1)) || !Copyable(in)) return qbfaxvmec_FER_FILE_SEEKERROR;
    if (!CopyPage(in, document.get(), index, count)) return qbfaxvmec_FER_FILE_WRITE;
  }
  return 0;
}

}  // namespace qvfax::pages
