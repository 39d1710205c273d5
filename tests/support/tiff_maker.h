// Makes fax-like TIFF files for tests: bilevel pages 1728 pixels wide, with
// a pattern that differs from page to page.
#pragma once

#include <string>

namespace qvfax::testing {

enum class PageResolution { kStandard, kFine };

// Writes `pages` pages to `path`; returns the path.
std::string MakeFaxTiff(const std::string& path, int pages,
                        PageResolution resolution = PageResolution::kStandard);

// A scratch path under the test's state folder.
std::string ScratchPath(const std::string& name);

}  // namespace qvfax::testing
