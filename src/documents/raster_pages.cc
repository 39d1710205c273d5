#include "documents/raster_pages.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include <Magick++.h>
#include <tiffio.h>
#include <fmt/format.h>

#include "documents/document_error.h"
#include "documents/sniff.h"
#include "documents/tone.h"

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

void CheckSize(const std::string& file, int page, size_t columns, size_t rows, const RasterLimits& limits) {
  if (columns == 0 || rows == 0) throw DocumentError(file, page, "an image of no pixels");
  if (columns > limits.max_side || rows > limits.max_side ||
      static_cast<uint64_t>(columns) * rows > limits.max_pixels) {
    throw DocumentError(file, page, fmt::format("declares {} x {} pixels, more than qvfax reads", columns, rows));
  }
}

// The image's resolution in dots per inch, or 0 when it says none.
std::pair<double, double> Dpi(const Magick::Image& image) {
  double x = image.xResolution(), y = image.yResolution();
  if (image.resolutionUnits() == Magick::PixelsPerCentimeterResolution) {
    x *= 2.54;
    y *= 2.54;
  } else if (image.resolutionUnits() == Magick::UndefinedResolution) {
    return {0, 0};
  }
  return {x, y};
}

}  // namespace

int CountImagePages(const std::string& file, const RasterLimits& limits) {
  int pages = 1;
  if (Sniff(file) == DocumentKind::kTiff) {
    // libtiff walks the directories without reading a pixel.
    TIFFSetWarningHandler(nullptr);
    TIFF* tiff = TIFFOpen(file.c_str(), "rm");
    if (!tiff) throw DocumentError(file, 0, "a damaged TIFF file");
    pages = static_cast<int>(TIFFNumberOfDirectories(tiff));
    TIFFClose(tiff);
  }
  if (pages <= 0) throw DocumentError(file, 0, "the image has no pages");
  (void)limits;  // each page's size is checked as it is read
  return pages;
}

pages::BitmapPage ResampleRows(const pages::BitmapPage& page, float y_dpi) {
  if (std::abs(page.y_dpi - y_dpi) < 1.0f) return page;
  pages::BitmapPage out;
  out.width = page.width;
  out.x_dpi = page.x_dpi;
  out.y_dpi = y_dpi;
  out.rows = std::max<uint32_t>(1, static_cast<uint32_t>(std::lround(page.rows * y_dpi / page.y_dpi)));
  out.bits.assign(static_cast<size_t>(out.rows) * out.Stride(), 0);
  const double step = static_cast<double>(page.rows) / out.rows;
  for (uint32_t y = 0; y < out.rows; ++y) {
    const auto first = static_cast<uint32_t>(y * step);
    const auto last = std::max(first + 1, std::min(page.rows, static_cast<uint32_t>((y + 1) * step)));
    uint8_t* row = out.Row(y);
    for (uint32_t source = first; source < last && source < page.rows; ++source) {
      const uint8_t* from = page.Row(source);
      for (size_t i = 0; i < out.Stride(); ++i) row[i] |= from[i];
    }
  }
  return out;
}

namespace {

// A TIFF page read by libtiff (strips or tiles, any compression, fill order,
// photometric), handed to Magick++ as pixels: Magick++'s own TIFF reader
// leaves libtiff's error handlers pointing into its state, which other
// threads of the server must not meet.
Magick::Image ReadTiffPage(const std::string& file, int page, const RasterLimits& limits, bool& bilevel,
                           std::pair<double, double>& dpi) {
  std::unique_ptr<TIFF, void (*)(TIFF*)> tiff(TIFFOpen(file.c_str(), "rm"), [](TIFF* t) {
    if (t) TIFFClose(t);
  });
  if (!tiff) throw DocumentError(file, 0, "a damaged TIFF file");
  if (!TIFFSetDirectory(tiff.get(), static_cast<tdir_t>(page - 1))) throw DocumentError(file, page, "a damaged TIFF page");
  uint32_t columns = 0, rows = 0;
  uint16_t bits = 1, unit = RESUNIT_INCH;
  float x = 0, y = 0;
  TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &columns);
  TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &rows);
  TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_RESOLUTIONUNIT, &unit);
  CheckSize(file, page, columns, rows, limits);
  if (TIFFGetField(tiff.get(), TIFFTAG_XRESOLUTION, &x) && TIFFGetField(tiff.get(), TIFFTAG_YRESOLUTION, &y) && x > 0 &&
      y > 0 && unit != RESUNIT_NONE) {
    const double scale = unit == RESUNIT_CENTIMETER ? 2.54 : 1.0;
    dpi = {x * scale, y * scale};
  }
  bilevel = bits == 1;
  std::vector<uint32_t> raster(static_cast<size_t>(columns) * rows);
  if (!TIFFReadRGBAImageOriented(tiff.get(), columns, rows, raster.data(), ORIENTATION_TOPLEFT, 0)) {
    throw DocumentError(file, page, "the image data cannot be read (a damaged or unsupported TIFF)");
  }
  Magick::Image image;
  image.read(columns, rows, "RGBA", Magick::CharPixel, raster.data());
  return image;
}

// The width and height a PNG (its IHDR) or a JPEG (its frame header) declares.
std::optional<std::pair<size_t, size_t>> DeclaredSize(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<uint8_t> head(64 * 1024);
  in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<size_t>(in.gcount()));
  const auto be = [&](size_t at, int bytes) {
    size_t v = 0;
    for (int i = 0; i < bytes; ++i) v = v << 8 | head[at + i];
    return v;
  };
  if (head.size() >= 24 && head[0] == 0x89 && head[1] == 'P') return std::pair{be(16, 4), be(20, 4)};
  if (head.size() < 4 || head[0] != 0xff || head[1] != 0xd8) return std::nullopt;
  for (size_t at = 2; at + 9 <= head.size() && head[at] == 0xff;) {
    const uint8_t marker = head[at + 1];
    const bool frame = marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
    if (frame) return std::pair{be(at + 7, 2), be(at + 5, 2)};
    at += 2 + be(at + 2, 2);
  }
  return std::nullopt;
}

// A page decoded as it is, before it is shaped into a fax page.
struct Decoded {
  Magick::Image image;
  bool bilevel = false;
  std::pair<double, double> dpi{0, 0};
};

Decoded Decode(const std::string& file, int page, const RasterLimits& limits) {
  StartMagick(limits);
  Decoded decoded;
  if (Sniff(file) == DocumentKind::kTiff) {
    decoded.image = ReadTiffPage(file, page, limits, decoded.bilevel, decoded.dpi);
    return decoded;
  }
  // The reader's own limits leave an image declared too large empty, saying
  // only that none was loaded: the size it declares tells why.
  const auto check_declared = [&] {
    if (const auto size = DeclaredSize(file)) CheckSize(file, page, size->first, size->second, limits);
  };
  try {
    decoded.image.ping(file);
    if (decoded.image.columns() == 0 || decoded.image.rows() == 0) check_declared();
    CheckSize(file, page, decoded.image.columns(), decoded.image.rows(), limits);
    decoded.image.read(file);
  } catch (const Magick::Warning&) {
    // A warning (an unknown chunk, say) still gives the image.
    if (decoded.image.columns() == 0 || decoded.image.rows() == 0) check_declared();
  } catch (const Magick::Exception& e) {
    check_declared();
    throw DocumentError(file, page, std::string("cannot be read: ") + e.what());
  }
  CheckSize(file, page, decoded.image.columns(), decoded.image.rows(), limits);
  decoded.bilevel = decoded.image.type() == Magick::BilevelType;
  decoded.dpi = Dpi(decoded.image);
  return decoded;
}

}  // namespace

void DecodeImagePage(const std::string& file, int page, const RasterLimits& limits) { Decode(file, page, limits); }

pages::BitmapPage ImagePage(const std::string& file, int page, const FaxFormat& format, const RasterLimits& limits) {
  const float y_dpi = YDpi(format.resolution);
  // A bilevel fax page of the right width goes as it is, its rows resampled exactly.
  pages::BitmapPage fax_page;
  if (Sniff(file) == DocumentKind::kTiff && pages::ReadBitmapPage(file, page, fax_page) == 0 &&
      fax_page.width == kFaxWidth) {
    return ResampleRows(fax_page, y_dpi);
  }
  Decoded decoded = Decode(file, page, limits);
  Magick::Image& image = decoded.image;
  const bool was_bilevel = decoded.bilevel;
  const auto dpi = decoded.dpi;

  // The image keeps its own size on the paper; only what is wider or longer
  // than the paper is reduced to fit. An image that says no resolution is
  // taken to be as wide as the paper. Pixels may be non-square.
  const double paper_width_in = kFaxWidth / kFaxXDpi, paper_height_in = PaperHeightInches(format.paper);
  auto [x_dpi, src_y_dpi] = dpi;
  double width_in = paper_width_in, height_in = image.rows() * paper_width_in / image.columns();
  if (x_dpi > 0 && src_y_dpi > 0) {
    width_in = image.columns() / x_dpi;
    height_in = image.rows() / src_y_dpi;
  }
  const double scale = std::min({1.0, paper_width_in / width_in, paper_height_in / height_in});
  const auto columns = std::clamp<size_t>(static_cast<size_t>(std::lround(width_in * scale * kFaxXDpi)), 1, kFaxWidth);
  const auto page_rows = PageRows(format);
  const auto rows = std::clamp<size_t>(static_cast<size_t>(std::lround(height_in * scale * y_dpi)), 1, page_rows);

  try {
    // What is transparent is the paper: white, not the black its colour channels may hold.
    if (image.matte()) {
      image.backgroundColor(Magick::Color("white"));
      image.alphaChannel(Magick::RemoveAlphaChannel);
    }
    image.type(Magick::GrayscaleType);
    Magick::Geometry size(columns, rows);
    size.aspect(true);
    image.resize(size);
  } catch (const Magick::Exception& e) {
    throw DocumentError(file, page, std::string("cannot be scaled: ") + e.what());
  }
  GreyImage grey;
  grey.columns = static_cast<uint32_t>(image.columns());
  grey.rows = static_cast<uint32_t>(image.rows());
  grey.grey.reserve(static_cast<size_t>(grey.columns) * grey.rows);
  for (uint32_t y = 0; y < grey.rows; ++y) {
    const Magick::PixelPacket* pixels = image.getConstPixels(0, y, grey.columns, 1);
    if (!pixels) throw DocumentError(file, page, "cannot be read to its end");
    for (uint32_t x = 0; x < grey.columns; ++x) grey.grey.push_back(static_cast<float>(pixels[x].red / kQuantumRange));
  }
  // A black and white image stays so; a grey one has its tone made into ink.
  std::vector<bool> ink;
  if (was_bilevel) {
    ink.reserve(grey.grey.size());
    for (const float g : grey.grey) ink.push_back(g < 0.5f);
  } else {
    ink = ToBlackAndWhite(std::move(grey));
  }

  pages::BitmapPage out;
  // A page of the paper, the image at its top, centred across.
  out.width = kFaxWidth;
  out.rows = page_rows;
  out.x_dpi = kFaxXDpi;
  out.y_dpi = y_dpi;
  out.bits.assign(static_cast<size_t>(out.rows) * out.Stride(), 0);
  const auto image_columns = static_cast<uint32_t>(image.columns());
  const uint32_t left = (kFaxWidth - std::min(image_columns, kFaxWidth)) / 2;
  for (uint32_t y = 0; y < std::min<uint32_t>(static_cast<uint32_t>(image.rows()), out.rows); ++y) {
    for (uint32_t x = 0; x < image_columns && left + x < kFaxWidth; ++x) {
      if (ink[static_cast<size_t>(y) * image_columns + x]) out.SetInk(left + x, y);
    }
  }
  return out;
}

}  // namespace qvfax::documents
