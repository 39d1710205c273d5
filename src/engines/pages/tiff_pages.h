// Reading the pages of a TIFF file the way a fax control does: a count of its
// pages, or the control's error code for a file it cannot use.
#pragma once

#include <cstdint>
#include <string>

namespace qvfax::pages {

// The number of pages (directories) of `file`, or a negative error code:
// -154 no file name, -150 the file does not exist, -166 not a TIFF file
// the control can read.
int32_t CountPages(const std::string& file);

// 0 when page `page` (from 1) of `file` can be sent, else an error code as
// CountPages gives, or -60 for a page the file does not have.
int32_t CheckPage(const std::string& file, int32_t page);

}  // namespace qvfax::pages
