// TIFF pages of any kind libtiff reads (strips or tiles, any compression,
// photometric and bit depth), taken a band of rows at a time through its
// RGBA interface, so a page is never held whole.
#include <tiffio.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "documents/document_error.h"
#include "documents/image_decoders.h"
#include "engines/pages/tiff_open.h"

namespace qvfax::documents {

namespace {

constexpr uint32_t kBandRows = 64;

class TiffRows final : public GreyRows {
 public:
  TiffRows(const std::string& file, int page, const RasterLimits& limits) : file_(file), page_(page) {
    tiff_.reset(pages::OpenTiff(file, "rm"));
    if (!tiff_) throw DocumentError(file, 0, "a damaged TIFF file");
    if (!TIFFSetDirectory(tiff_.get(), static_cast<tdir_t>(page - 1))) throw DocumentError(file, page, "a damaged TIFF page");
    uint32_t columns = 0, rows = 0;
    uint16_t bits = 1, unit = RESUNIT_INCH;
    float x = 0, y = 0;
    TIFFGetField(tiff_.get(), TIFFTAG_IMAGEWIDTH, &columns);
    TIFFGetField(tiff_.get(), TIFFTAG_IMAGELENGTH, &rows);
    TIFFGetFieldDefaulted(tiff_.get(), TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tiff_.get(), TIFFTAG_RESOLUTIONUNIT, &unit);
    CheckDeclaredSize(file, page, columns, rows, limits);
    columns_ = columns;
    rows_ = rows;
    if (TIFFGetField(tiff_.get(), TIFFTAG_XRESOLUTION, &x) && TIFFGetField(tiff_.get(), TIFFTAG_YRESOLUTION, &y) && x > 0 &&
        y > 0 && unit != RESUNIT_NONE) {
      const double scale = unit == RESUNIT_CENTIMETER ? 2.54 : 1.0;
      dpi_ = {x * scale, y * scale};
    }
    bilevel_ = bits == 1;
    band_.resize(static_cast<size_t>(columns_) * kBandRows);
    char message[1024] = "";
    if (!TIFFRGBAImageOK(tiff_.get(), message) || !TIFFRGBAImageBegin(&image_, tiff_.get(), 0, message)) {
      throw DocumentError(file, page, std::string("the image data cannot be read: ") + message);
    }
    begun_ = true;
    image_.req_orientation = ORIENTATION_TOPLEFT;
  }

  ~TiffRows() override {
    if (begun_) TIFFRGBAImageEnd(&image_);
  }

  void Next(float* row) override {
    if (next_ >= band_end_) ReadBand();
    const uint32_t* pixels = band_.data() + static_cast<size_t>(next_ - band_start_) * columns_;
    for (uint32_t x = 0; x < columns_; ++x) {
      // Colours come premultiplied by their opacity: what is not covered is paper.
      const uint32_t p = pixels[x];
      const float paper = 255.0f - static_cast<float>(TIFFGetA(p));
      const float grey = Luma(static_cast<float>(TIFFGetR(p)), static_cast<float>(TIFFGetG(p)),
                              static_cast<float>(TIFFGetB(p))) + paper;
      row[x] = std::min(grey, 255.0f) / 255.0f;
    }
    ++next_;
  }

 private:
  void ReadBand() {
    const uint32_t count = std::min(kBandRows, rows_ - next_);
    image_.row_offset = static_cast<int>(next_);
    image_.col_offset = 0;
    if (!TIFFRGBAImageGet(&image_, band_.data(), columns_, count)) {
      throw DocumentError(file_, page_, "the image data cannot be read (a damaged or unsupported TIFF)");
    }
    band_start_ = next_;
    band_end_ = next_ + count;
  }

  std::string file_;
  int page_;
  std::unique_ptr<TIFF, void (*)(TIFF*)> tiff_{nullptr, [](TIFF* t) { TIFFClose(t); }};
  TIFFRGBAImage image_{};
  bool begun_ = false;
  std::vector<uint32_t> band_;
  uint32_t next_ = 0, band_start_ = 0, band_end_ = 0;
};

}  // namespace

std::unique_ptr<GreyRows> OpenTiffRows(const std::string& file, int page, const RasterLimits& limits) {
  return std::make_unique<TiffRows>(file, page, limits);
}

}  // namespace qvfax::documents
