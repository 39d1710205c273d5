// Fax pages copied as they are coded: the compressed strips of each page go
// into the document unchanged, with the tags that describe them, so a page
// that needs no header is never decoded and coded again.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qvfax::pages {

// Whether page `page` (from 1) of `file` can be copied as it is: T.4 or T.6
// coded, white as zero, a fax width and one of the three fax resolutions.
bool CopyableAsCoded(const std::string& file, int page);

// The width and the rows an inch of page `page` when it can be copied as it
// is coded; nothing otherwise.
struct CodedShape {
  uint32_t width = 0;
  float y_dpi = 0;
};
std::optional<CodedShape> CodedPageShape(const std::string& file, int page);

// Writes the pages, in order, to `out` as one document. Returns 0, or -82
// when it cannot be written, or -85 when a page cannot be copied (the caller
// then decodes it instead).
int32_t CopyCodedPages(const std::vector<std::pair<std::string, int16_t>>& pages, const std::string& out);

}  // namespace qvfax::pages
