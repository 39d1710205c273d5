// Makes fax-like TIFF files: bilevel G4 pages 1728 pixels wide, A4 long at
// standard or fine resolution, with a pattern that differs from page to page.
// The demo sends them; tests use them as known pages.
#pragma once

#include <string>

namespace qvfax::pages {

enum class PageResolution { kStandard, kFine };
// Bars compress to almost nothing; text-like lines code as a typed page does;
// a letter is a short one: a block of ragged lines with margins around it.
enum class PageStyle { kBars, kText, kLetter };

// Writes `pages` pages to `path`; returns the path.
std::string MakeFaxTiff(const std::string& path, int pages,
                        PageResolution resolution = PageResolution::kStandard, PageStyle style = PageStyle::kBars);


}  // namespace qvfax::pages
