#include "engines/core/document.h"

#include <algorithm>
#include <vector>

#include "engines/pages/bitmap_page.h"
#include "engines/pages/header_painter.h"
#include "engines/pages/raw_pages.h"

namespace qvfax::core {

int32_t AssembleDocument(const Bank::State& state, const FaxObject& fax, const std::string& path) {
  // With no header to draw, pages coded as a fax machine reads them go as
  // they are coded: nothing is decoded, nothing held.
  if (!state.header_enabled && !fax.attached.empty() &&
      std::all_of(fax.attached.begin(), fax.attached.end(),
                  [](const auto& page) { return pages::CopyableAsCoded(page.first, page.second); })) {
    if (pages::CopyCodedPages(fax.attached, path) == 0) return 0;
  }
  std::vector<pages::BitmapPage> document;
  for (const auto& [file, page_in_file] : fax.attached) {
    pages::BitmapPage page;
    if (const int32_t error = pages::ReadBitmapPage(file, page_in_file, page)) return error;
    document.push_back(std::move(page));
  }
  if (document.empty()) return 0;
  if (state.header_enabled) {
    pages::HeaderText text{state.header_left, state.header_center, state.header_right, state.local_id,
                           fax.number,        state.header_face,   state.header_font_size, state.header_height};
    const auto now = state.clock->LocalNow();
    for (size_t i = 0; i < document.size(); ++i) {
      pages::PaintHeader(document[i], text, static_cast<int>(i + 1), static_cast<int>(document.size()), now);
    }
  }
  return pages::WriteFaxDocument(path, document);
}

}  // namespace qvfax::core
