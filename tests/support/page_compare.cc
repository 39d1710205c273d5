#include "page_compare.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "engines/pages/bitmap_page.h"
#include "engines/pages/tiff_pages.h"

namespace qvfax::testing {

namespace {

// The received pages are the first pages sent.
void ExpectFirstPages(const std::string& sent, const std::vector<PageRef>& received, uint32_t skip_rows) {
  for (size_t i = 0; i < received.size(); ++i) {
    pages::BitmapPage a, b;
    ASSERT_EQ(pages::ReadBitmapPage(sent, static_cast<int>(i + 1), a), 0);
    ASSERT_EQ(pages::ReadBitmapPage(received[i].first, received[i].second, b), 0) << received[i].first;
    ASSERT_EQ(a.rows, b.rows) << "page " << i + 1;
    ASSERT_EQ(a.width, b.width) << "page " << i + 1;
    const auto from = static_cast<long>(std::min<size_t>(skip_rows * a.Stride(), a.bits.size()));
    EXPECT_TRUE(std::equal(a.bits.begin() + from, a.bits.end(), b.bits.begin() + from)) << "page " << i + 1;
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

}  // namespace qvfax::testing
