// What libjpeg cannot give as grey (CMYK JPEG) is read whole by Magick++,
// its colours turned to grey over white paper, then handed out row by row.
#include <Magick++.h>

#include <mutex>

#include "documents/document_error.h"
#include "documents/image_decoders.h"

namespace qvfax::documents {

namespace {

constexpr double kQuantumRange = static_cast<double>((1ull << MAGICKCORE_QUANTUM_DEPTH) - 1);

void StartMagick(const RasterLimits& limits) {
  static std::once_flag once;
  std::call_once(once, [&] {
    Magick::InitializeMagick(nullptr);
    // A file that declares more than this is refused before its pixels are read.
    Magick::ResourceLimits::width(limits.max_side);
    Magick::ResourceLimits::height(limits.max_side);
    Magick::ResourceLimits::area(limits.max_pixels);
    Magick::ResourceLimits::memory(512ull << 20);
    Magick::ResourceLimits::map(1ull << 30);
    Magick::ResourceLimits::disk(2ull << 30);
    Magick::ResourceLimits::thread(1);
  });
}

class MagickRows final : public GreyRows {
 public:
  MagickRows(const std::string& file, int page, const RasterLimits& limits) : file_(file), page_(page) {
    StartMagick(limits);
    try {
      image_.ping(file);
      CheckDeclaredSize(file, page, image_.columns(), image_.rows(), limits);
      image_.read(file);
    } catch (const Magick::Warning&) {
      // A warning (an unknown chunk, say) still gives the image.
    } catch (const Magick::Exception& e) {
      throw DocumentError(file, page, std::string("cannot be read: ") + e.what());
    }
    CheckDeclaredSize(file, page, image_.columns(), image_.rows(), limits);
    try {
      if (image_.matte()) {
        image_.backgroundColor(Magick::Color("white"));
        image_.alphaChannel(Magick::RemoveAlphaChannel);
      }
      bilevel_ = image_.type() == Magick::BilevelType;
      image_.type(Magick::GrayscaleType);
    } catch (const Magick::Exception& e) {
      throw DocumentError(file, page, std::string("cannot be read: ") + e.what());
    }
    columns_ = static_cast<uint32_t>(image_.columns());
    rows_ = static_cast<uint32_t>(image_.rows());
    double x = image_.xResolution(), y = image_.yResolution();
    if (image_.resolutionUnits() == Magick::PixelsPerCentimeterResolution) {
      x *= 2.54;
      y *= 2.54;
    }
    if (image_.resolutionUnits() != Magick::UndefinedResolution && x > 0 && y > 0) dpi_ = {x, y};
  }

  void Next(float* row) override {
    const Magick::PixelPacket* pixels = image_.getConstPixels(0, next_++, columns_, 1);
    if (!pixels) throw DocumentError(file_, page_, "cannot be read to its end");
    for (uint32_t x = 0; x < columns_; ++x) row[x] = static_cast<float>(pixels[x].red / kQuantumRange);
  }

 private:
  std::string file_;
  int page_;
  Magick::Image image_;
  uint32_t next_ = 0;
};

}  // namespace

std::unique_ptr<GreyRows> OpenMagickRows(const std::string& file, int page, const RasterLimits& limits) {
  return std::make_unique<MagickRows>(file, page, limits);
}

}  // namespace qvfax::documents
