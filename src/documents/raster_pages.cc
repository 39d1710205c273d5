#include "documents/raster_pages.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <tiffio.h>

#include "documents/document_error.h"
#include "documents/grey_rows.h"
#include "documents/resample.h"
#include "documents/sniff.h"
#include "documents/tone.h"
#include "engines/pages/tiff_open.h"

namespace qvfax::documents {

int CountImagePages(const std::string& file, const RasterLimits& limits) {
  int pages = 1;
  if (Sniff(file) == DocumentKind::kTiff) {
    // libtiff walks the directories without reading a pixel.
    TIFF* tiff = pages::OpenTiff(file, "rm");
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

void DecodeImagePage(const std::string& file, int page, const RasterLimits& limits) {
  auto rows = OpenGreyRows(file, page, limits);
  std::vector<float> row(rows->columns());
  for (uint32_t y = 0; y < rows->rows(); ++y) rows->Next(row.data());
}

pages::BitmapPage ImagePage(const std::string& file, int page, const FaxFormat& format, const RasterLimits& limits) {
  const float y_dpi = YDpi(format.resolution);
  // A bilevel fax page of the right width goes as it is, its rows resampled exactly.
  pages::BitmapPage fax_page;
  if (Sniff(file) == DocumentKind::kTiff && pages::ReadBitmapPage(file, page, fax_page) == 0 &&
      fax_page.width == kFaxWidth) {
    return ResampleRows(fax_page, y_dpi);
  }
  auto source = OpenGreyRows(file, page, limits);

  // The image keeps its own size on the paper; only what is wider or longer
  // than the paper is reduced to fit. An image that says no resolution is
  // taken to be as wide as the paper. Pixels may be non-square.
  const double paper_width_in = kFaxWidth / kFaxXDpi, paper_height_in = PaperHeightInches(format.paper);
  const auto [x_dpi, src_y_dpi] = source->dpi();
  double width_in = paper_width_in, height_in = source->rows() * paper_width_in / source->columns();
  if (x_dpi > 0 && src_y_dpi > 0) {
    width_in = source->columns() / x_dpi;
    height_in = source->rows() / src_y_dpi;
  }
  const double scale = std::min({1.0, paper_width_in / width_in, paper_height_in / height_in});
  const auto columns = std::clamp<uint32_t>(static_cast<uint32_t>(std::lround(width_in * scale * kFaxXDpi)), 1, kFaxWidth);
  const auto page_rows = PageRows(format);
  const auto rows = std::clamp<uint32_t>(static_cast<uint32_t>(std::lround(height_in * scale * y_dpi)), 1, page_rows);
  source->ReduceTowards(columns, rows);
  GreyImage grey = Resample(*source, columns, rows);

  // A black and white image stays so; a grey one has its tone made into ink.
  std::vector<bool> ink;
  if (source->bilevel()) {
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
  const uint32_t left = (kFaxWidth - std::min(columns, kFaxWidth)) / 2;
  for (uint32_t y = 0; y < std::min(rows, out.rows); ++y) {
    for (uint32_t x = 0; x < columns && left + x < kFaxWidth; ++x) {
      if (ink[static_cast<size_t>(y) * columns + x]) out.SetInk(left + x, y);
    }
  }
  return out;
}

}  // namespace qvfax::documents
