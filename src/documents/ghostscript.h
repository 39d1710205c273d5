// PDF and PostScript to fax pages: Ghostscript, run in its safe mode as a
// confined process of its own (it reads the document, writes in the output's
// folder), renders the document straight to a fax TIFF of the chosen
// resolution and paper, within a time and a page limit.
#pragma once

#include <chrono>
#include <string>

#include "documents/fax_format.h"

namespace qvfax::documents {

struct RenderLimits {
  int max_pages = 200;
  std::chrono::milliseconds time{120'000};
};

// Writes the pages of `input` to `output` (T.6, 1728 pixels wide) and returns
// how many; throws DocumentError naming `input` and Ghostscript's reason, when
// it fails, runs past the time limit, gives no page or more than max_pages.
int RenderWithGhostscript(const std::string& input, const std::string& output, const FaxFormat& format,
                          const RenderLimits& limits);

}  // namespace qvfax::documents
