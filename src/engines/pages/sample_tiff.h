// Makes fax-like TIFF files: bilevel G4 pages 1728 pixels wide, A4 long at
// standard or fine resolution, with a pattern that differs from page to page.
// The demo sends them; tests use them as known pages.
#pragma once

#include <string>

namespace qvfax::pages {

enum class PageResolution { kStandard, kFine };
// Bars compress to almost nothing; text-like lines code as a typed letter does.
enum class PageStyle { kBars, kText };

// Writes `pages` pages to `path`; returns the path.
std::string MakeFaxTiff(const std::string& path, int pages,
                        PageResolution resolution = PageResolution::kStandard, PageStyle style = PageStyle::kBars);


}  // namespace qvfax::pages
