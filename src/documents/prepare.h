// Preparing documents for sending: each PDF, PostScript or image file becomes
// one fax TIFF (T.6, one strip a page, 1728 pixels wide, at the chosen
// resolution) that every engine sends as it stands. Pages are made one at a
// time, so a long document is never held whole.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "documents/cover_page.h"
#include "documents/fax_format.h"
#include "documents/ghostscript.h"
#include "documents/raster_pages.h"

namespace qvfax::documents {

struct PrepareOptions {
  FaxFormat format;
  RenderLimits render;
  RasterLimits raster;
  std::optional<CoverPage> cover;  // a cover page first, counted in the pages
};

struct Prepared {
  std::vector<std::string> files;  // in the order of the inputs
  int pages = 0;
};

// Writes the prepared files into `folder` (made private if new). Throws
// DocumentError naming the file, the page and the reason; what was written
// for the failed call is removed.
Prepared Prepare(const std::vector<std::string>& inputs, const std::string& folder, const PrepareOptions& options);

}  // namespace qvfax::documents
