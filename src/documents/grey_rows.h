// An image page read one row at a time as grey, 0 black to 1 white, with
// what is transparent taken as the white of the paper. A page is never held
// whole where its decoder can avoid it: a 600 dpi colour scan is reduced to
// fax size as it is read.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "documents/raster_pages.h"

namespace qvfax::documents {

class GreyRows {
 public:
  virtual ~GreyRows() = default;

  uint32_t columns() const { return columns_; }
  uint32_t rows() const { return rows_; }
  // Dots per inch across and down; {0, 0} when the image says none.
  std::pair<double, double> dpi() const { return dpi_; }
  bool bilevel() const { return bilevel_; }

  // Says the page is wanted at about this size or larger: a decoder that can
  // reduce as it decodes (JPEG) does, and its size and resolution change to
  // match. Called before the first row only.
  virtual void ReduceTowards(uint32_t columns, uint32_t rows) { (void)columns, (void)rows; }
  // The next row, columns() values; throws DocumentError.
  virtual void Next(float* row) = 0;

 protected:
  uint32_t columns_ = 0, rows_ = 0;
  std::pair<double, double> dpi_{0, 0};
  bool bilevel_ = false;
};

// Page `page` (from 1) of an image file; throws DocumentError for a file that
// cannot be read or declares more pixels than the limits.
std::unique_ptr<GreyRows> OpenGreyRows(const std::string& file, int page, const RasterLimits& limits);

}  // namespace qvfax::documents
