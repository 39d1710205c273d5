// Our page header, drawn into the top rows of each page before it is sent:
// the left, centre and right formats with their placeholders expanded, in the
// face and size asked for (fontconfig finds the face; "Courier_New" becomes a
// metric-compatible monospace), in `height` rows.
#pragma once

#include <string>

#include "engines/pages/bitmap_page.h"
#include "platform/ole_date.h"

namespace qvfax::pages {

struct HeaderText {
  std::string left, center, right;
  std::string local_id;  // %i
  std::string number;    // %f, the number dialled
  std::string face;
  int font_size = 8;     // points
  int height = 25;       // rows
};

// %i local id, %f number dialled, %c page, %p pages, %t time "hh:nn",
// %D date "dd/mm/yyyy", %% a percent sign; any other % sequence stays as it is.
std::string ExpandHeader(const std::string& format, const HeaderText& text, int page, int pages, const OleDate& now);

// Clears the header rows and draws the three parts. Without any usable font
// the rows are left blank.
void PaintHeader(BitmapPage& page, const HeaderText& text, int page_number, int pages, const OleDate& now);

}  // namespace qvfax::pages
