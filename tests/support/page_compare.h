// Pages sent against pages a receiver stored, decoded and compared row for
// row; rows at the top (where our header is drawn) may be left out.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qvfax::testing {

// One received page: a file and the page in it, from 1.
using PageRef = std::pair<std::string, int>;

void ExpectSamePages(const std::string& sent, const std::vector<PageRef>& received, uint32_t skip_rows = 0);
// One received file of `pages` pages: the first `pages` pages sent, as sent.
void ExpectSamePages(const std::string& sent, const std::string& received, int pages, uint32_t skip_rows = 0);
// The same for a sender that may add rows of its own above each page (a
// header line) or below it: each page sent must stand whole in the page
// received, below its first `skip_rows`.
void ExpectSamePagesBelowSenderRows(const std::string& sent, const std::string& received, int pages,
                                    uint32_t skip_rows);

}  // namespace qvfax::testing
