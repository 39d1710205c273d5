#include "engines/core/document.h"

#include <algorithm>
#include <vector>

#include "engines/pages/bitmap_page.h"
#include "engines/pages/header_painter.h"
#include "engines/pages/raw_pages.h"
#include "values/enums.h"

namespace qvfax::core {

int32_t AssembleDocument(const Bank::State& state, const FaxObject& fax, const std::string& path) {
  // With no header to draw, pages coded as a fax machine reads them go as
  // they are coded: nothing is decoded, nothing held.
  if (!state.header_enabled && !fax.attached.empty() &&
      std::all_of(fax.attached.begin(), fax.attached.end(),
                  [](const auto& page) { return pages::CopyableAsCoded(page.first, page.second); })) {
    if (pages::CopyCodedPages(fax.attached, path) == 0) return 0;
  }
  // Otherwise a page at a time: read, header drawn, coded and written, so a
  // long fax is never held whole.
  if (fax.attached.empty()) return 0;
  const auto count = static_cast<int>(fax.attached.size());
  pages::FaxTiffWriter writer(path, static_cast<uint16_t>(count));
  if (!writer.ok()) return qbfaxvmec_FER_FILE_WRITE;
  const pages::HeaderText text{state.header_left, state.header_center, state.header_right, state.local_id,
                               fax.number,        state.header_face,   state.header_font_size, state.header_height};
  const auto now = state.clock->LocalNow();
  for (int i = 0; i < count; ++i) {
    const auto& [file, page_in_file] = fax.attached[static_cast<size_t>(i)];
    pages::BitmapPage page;
    if (const int32_t error = pages::ReadBitmapPage(file, page_in_file, page)) return error;
    if (state.header_enabled) pages::PaintHeader(page, text, i + 1, count, now);
    if (const int32_t error = writer.Add(page)) return error;
  }
  return writer.Close();
}

}  // namespace qvfax::core
