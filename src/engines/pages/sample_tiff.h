// Makes fax-like TIFF files: bilevel G4 pages 1728 pixels wide, A4 long at
// standard or fine resolution, with a pattern that differs from page to page.
// The demo sends them; tests use them as known pages.
#pragma once

#include <string>

namespace qvfax::pages {

enum class PageResolution { kStandard, kFine };

// Writes `pages` pages to `path`; returns the path.
std::string MakeFaxTiff(const std::string& path, int pages,
                        PageResolution resolution = PageResolution::kStandard);


}  // namespace qvfax::pages
