// Images to fax pages: TIFF of any kind libtiff reads, PNG and JPEG, each
// keeping its size on the chosen paper (only what is larger is reduced), at
// the chosen resolution, and grey or colour turned to black and white by its
// own tone.
#pragma once

#include <cstdint>
#include <string>

#include "documents/fax_format.h"
#include "engines/pages/bitmap_page.h"

namespace qvfax::documents {

struct RasterLimits {
  uint32_t max_side = 40000;               // pixels, either way
  uint64_t max_pixels = 200'000'000;       // a page's area
};

// How many pages (frames) the image file has; throws DocumentError for a file
// that cannot be read or declares more pixels than the limits.
int CountImagePages(const std::string& file, const RasterLimits& limits);

// Decodes page `page` (from 1) as preparation reads it, without shaping it
// into a fax page; throws DocumentError. For checks of damaged files.
void DecodeImagePage(const std::string& file, int page, const RasterLimits& limits);

// Page `page` (from 1) as a fax page; throws DocumentError.
pages::BitmapPage ImagePage(const std::string& file, int page, const FaxFormat& format, const RasterLimits& limits);

// A bilevel page brought to `y_dpi` exactly: rows combined (ink kept) going
// down in resolution, repeated going up.
pages::BitmapPage ResampleRows(const pages::BitmapPage& page, float y_dpi);

}  // namespace qvfax::documents
