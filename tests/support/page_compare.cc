#include "page_compare.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "engines/pages/bitmap_page.h"
#include "engines/pages/tiff_pages.h"

namespace qvfax::testing {

namespace {

// The received pages are the first pages sent; with `added_rows`, the
// sender may have added rows or left white ones out.
void ExpectFirstPages(const std::string& sent, const std::vector<PageRef>& received, uint32_t skip_rows,
                      bool added_rows = false) {
  for (size_t i = 0; i < received.size(); ++i) {
    pages::BitmapPage a, b;
    ASSERT_EQ(pages::ReadBitmapPage(sent, static_cast<int>(i + 1), a), 0);
    ASSERT_EQ(pages::ReadBitmapPage(received[i].first, received[i].second, b), 0) << received[i].first;
    ASSERT_EQ(a.width, b.width) << "page " << i + 1;
    if (!added_rows) {
      ASSERT_EQ(a.rows, b.rows) << "page " << i + 1;
    }
    // A sender may add rows above the page (a header) or below it (padding),
    // and may leave out white rows at its foot: the page sent, but for those,
    // must stand whole at one place in the page received.
    const size_t stride = a.Stride();
    uint32_t inked = a.rows;
    while (inked > 0 && std::all_of(a.bits.begin() + static_cast<long>((inked - 1) * stride),
                                    a.bits.begin() + static_cast<long>(inked * stride), [](uint8_t v) { return v == 0; })) {
      --inked;
    }
    const uint32_t rows = std::max(std::min(a.rows, b.rows), inked);
    const auto from = static_cast<long>(std::min<size_t>(skip_rows, rows) * stride);
    const auto to = static_cast<long>(rows * stride);
    bool found = false;
    for (uint32_t shift = 0; shift + rows <= b.rows && !found; ++shift) {
      const auto offset = static_cast<long>(shift * stride);
      found = std::equal(a.bits.begin() + from, a.bits.begin() + to, b.bits.begin() + from + offset);
    }
    EXPECT_TRUE(found) << "page " << i + 1;
  }
}

}  // namespace

void ExpectSamePages(const std::string& sent, const std::vector<PageRef>& received, uint32_t skip_rows) {
  ASSERT_EQ(static_cast<int>(received.size()), pages::CountPages(sent)) << "pages received";
  ExpectFirstPages(sent, received, skip_rows);
}

void ExpectSamePages(const std::string& sent, const std::string& received, int pages, uint32_t skip_rows) {
  ASSERT_EQ(pages::CountPages(received), pages);
  ASSERT_LE(pages, pages::CountPages(sent));
  std::vector<PageRef> refs;
  for (int p = 1; p <= pages; ++p) refs.emplace_back(received, p);
  ExpectFirstPages(sent, refs, skip_rows);
}

void ExpectSamePagesBelowSenderRows(const std::string& sent, const std::string& received, int pages,
                                    uint32_t skip_rows) {
  ASSERT_EQ(pages::CountPages(received), pages);
  ASSERT_LE(pages, pages::CountPages(sent));
  std::vector<PageRef> refs;
  for (int p = 1; p <= pages; ++p) refs.emplace_back(received, p);
  ExpectFirstPages(sent, refs, skip_rows, true);
}

}  // namespace qvfax::testing
