#include "documents/plain_text.h"

#include <cstdint>
#include <vector>

#include <fmt/format.h>

namespace qvfax::documents {

namespace {

constexpr double kPageWidthPt = kFaxWidth / kFaxXDpi * 72.0;  // the fax line, 215 mm
constexpr double kMarginPt = 36.0;
constexpr double kFontPt = 10.0;
constexpr double kCharWidthPt = 6.0;  // Courier's advance at 10 pt
constexpr double kLinePt = 12.0;
constexpr int kTabStop = 8;

// The text as code points: UTF-8 when all of it is valid UTF-8, else Latin-1.
std::vector<uint32_t> CodePoints(const std::string& text) {
  std::vector<uint32_t> points;
  points.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto b = static_cast<uint8_t>(text[i]);
    const int length = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xe ? 3 : (b >> 3) == 0x1e ? 4 : 0;
    if (length == 0 || i + length > text.size()) break;
    uint32_t point = length == 1 ? b : b & (0x7f >> length);
    bool valid = true;
    for (int k = 1; k < length; ++k) {
      const auto c = static_cast<uint8_t>(text[i + k]);
      valid = valid && (c & 0xc0) == 0x80;
      point = point << 6 | (c & 0x3f);
    }
    if (!valid) break;
    points.push_back(point);
    i += length;
    if (i == text.size()) return points;
  }
  if (text.empty()) return points;
  points.clear();
  for (const char c : text) points.push_back(static_cast<uint8_t>(c));
  return points;
}

// One glyph of Courier in ISO Latin-1, as a PostScript string holds it.
void AppendGlyph(std::string& out, uint32_t point) {
  if (point < 0x20 || (point >= 0x7f && point < 0xa0) || point > 0xff) point = '?';
  if (point == '(' || point == ')' || point == '\\') {
    out += '\\';
    out += static_cast<char>(point);
  } else if (point >= 0x80) {
    out += fmt::format("\\{:03o}", point);
  } else {
    out += static_cast<char>(point);
  }
}

}  // namespace

std::string PostScriptString(const std::string& text) {
  std::string out = "(";
  for (uint32_t point : CodePoints(text)) AppendGlyph(out, point == '\n' || point == '\r' || point == '\t' ? ' ' : point);
  return out + ")";
}

bool LooksLikeText(const char* head, size_t size) {
  if (size == 0) return false;
  size_t controls = 0;
  for (size_t i = 0; i < size; ++i) {
    const auto b = static_cast<uint8_t>(head[i]);
    if (b == 0) return false;
    if (b < 0x20 && b != '\t' && b != '\n' && b != '\r' && b != '\f' && b != 0x1b) ++controls;
  }
  return controls * 100 <= size;
}

std::string TextAsPostScript(const std::string& text, Paper paper) {
  const double height = PaperHeightInches(paper) * 72.0;
  const int columns = static_cast<int>((kPageWidthPt - 2 * kMarginPt) / kCharWidthPt);
  const int lines_per_page = static_cast<int>((height - 2 * kMarginPt) / kLinePt);
  std::string out = fmt::format(
      "%!PS-Adobe-3.0\n%%BoundingBox: 0 0 {0:.0f} {1:.0f}\n"
      "<< /PageSize [{0:.2f} {1:.2f}] >> setpagedevice\n"
      "/Courier findfont dup length dict begin {{ 1 index /FID ne {{ def }} {{ pop pop }} ifelse }} forall\n"
      "/Encoding ISOLatin1Encoding def currentdict end /QvText exch definefont pop\n"
      "/L {{ moveto show }} bind def\n",
      kPageWidthPt, height);
  int line = 0, column = 0;
  bool page_open = false;
  std::string current;
  const auto open_page = [&] {
    if (page_open) return;
    out += "/QvText findfont " + fmt::format("{:.0f}", kFontPt) + " scalefont setfont\n";
    page_open = true;
  };
  const auto end_line = [&] {
    open_page();
    if (!current.empty()) {
      out += fmt::format("({}) {:.1f} {:.1f} L\n", current, kMarginPt, height - kMarginPt - kFontPt - line * kLinePt);
    }
    current.clear();
    column = 0;
    if (++line == lines_per_page) {
      out += "showpage\n";
      page_open = false;
      line = 0;
    }
  };
  const auto end_page = [&] {
    if (column > 0) end_line();
    if (line > 0 || page_open) {
      open_page();
      out += "showpage\n";
    }
    page_open = false;
    line = 0;
  };
  const auto points = CodePoints(text);
  for (size_t i = 0; i < points.size(); ++i) {
    const uint32_t point = points[i];
    if (point == '\r') {
      if (i + 1 < points.size() && points[i + 1] == '\n') continue;  // CR LF is one line end
      end_line();
    } else if (point == '\n') {
      end_line();
    } else if (point == '\f') {
      end_page();
    } else if (point == '\t') {
      do {
        current += ' ';
        ++column;
      } while (column % kTabStop != 0 && column < columns);
      if (column >= columns) end_line();
    } else {
      if (point == 0xfeff && i == 0) continue;  // a byte order mark
      AppendGlyph(current, point);
      if (++column == columns) end_line();
    }
  }
  if (column > 0) end_line();
  if (line > 0) {
    out += "showpage\n";
  }
  return out;
}

}  // namespace qvfax::documents
