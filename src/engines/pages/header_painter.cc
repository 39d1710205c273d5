#include "engines/pages/header_painter.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

namespace qvfax::pages {

std::string ExpandHeader(const std::string& format, const HeaderText& text, int page, int pages, const OleDate& now) {
  const std::string stamp = now.LogText();  // dd/mm/yyyy hh.nn.ss
  std::string out;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%' || i + 1 == format.size()) {
      out.push_back(format[i]);
      continue;
    }
    const char code = format[++i];
    switch (code) {
      case 'i': out += text.local_id; break;
      case 'f': out += text.number; break;
      case 'c': out += std::to_string(page); break;
      case 'p': out += std::to_string(pages); break;
      case 't': out += stamp.substr(11, 2) + ":" + stamp.substr(14, 2); break;
      case 'D': out += stamp.substr(0, 10); break;
      case '%': out.push_back('%'); break;
      default:
        out.push_back('%');
        out.push_back(code);
    }
  }
  return out;
}

namespace {

// The font file fontconfig offers for a face name; "Courier_New" is asked for
// as "Courier New". Looked up once per face, with a configuration of our own
// that is released afterwards.
std::string FontFile(std::string face) {
  std::replace(face.begin(), face.end(), '_', ' ');
  if (face.empty()) face = "monospace";
  static std::mutex mutex;
  static std::map<std::string, std::string> known;
  std::lock_guard lock(mutex);
  if (auto it = known.find(face); it != known.end()) return it->second;
  std::string file;
  if (FcConfig* config = FcInitLoadConfigAndFonts()) {
    if (FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(face.c_str()))) {
      FcConfigSubstitute(config, pattern, FcMatchPattern);
      FcDefaultSubstitute(pattern);
      FcResult result;
      FcPattern* match = FcFontMatch(config, pattern, &result);
      FcChar8* path = nullptr;
      if (match && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) file = reinterpret_cast<char*>(path);
      if (match) FcPatternDestroy(match);
      FcPatternDestroy(pattern);
    }
    FcConfigDestroy(config);
  }
  known[face] = file;
  return file;
}

class Pen {
 public:
  Pen(const std::string& face, int points, float x_dpi, float y_dpi) {
    if (FT_Init_FreeType(&library_) != 0) return;
    const std::string file = FontFile(face);
    if (file.empty() || FT_New_Face(library_, file.c_str(), 0, &face_) != 0) return;
    FT_Set_Char_Size(face_, 0, points * 64, static_cast<FT_UInt>(x_dpi), static_cast<FT_UInt>(y_dpi));
  }
  ~Pen() {
    if (face_) FT_Done_Face(face_);
    if (library_) FT_Done_FreeType(library_);
  }
  bool Ready() const { return face_ != nullptr; }

  int Width(const std::string& text) {
    int width = 0;
    for (unsigned char c : text) {
      if (FT_Load_Char(face_, c, FT_LOAD_DEFAULT) == 0) width += static_cast<int>(face_->glyph->advance.x >> 6);
    }
    return width;
  }

  void Draw(BitmapPage& page, const std::string& text, int x, int baseline, int rows) {
    for (unsigned char c : text) {
      if (FT_Load_Char(face_, c, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME) != 0) continue;
      const FT_GlyphSlot glyph = face_->glyph;
      const FT_Bitmap& bitmap = glyph->bitmap;
      for (unsigned gy = 0; gy < bitmap.rows; ++gy) {
        const int y = baseline - glyph->bitmap_top + static_cast<int>(gy);
        if (y < 0 || y >= rows) continue;
        const unsigned char* src = bitmap.buffer + gy * bitmap.pitch;
        for (unsigned gx = 0; gx < bitmap.width; ++gx) {
          const int px = x + glyph->bitmap_left + static_cast<int>(gx);
          if (px < 0 || px >= static_cast<int>(page.width)) continue;
          if (src[gx / 8] & (0x80 >> (gx % 8))) page.SetInk(static_cast<uint32_t>(px), static_cast<uint32_t>(y));
        }
      }
      x += static_cast<int>(glyph->advance.x >> 6);
    }
  }

  int Ascender() const { return static_cast<int>(face_->size->metrics.ascender >> 6); }
  int Descender() const { return static_cast<int>(-face_->size->metrics.descender >> 6); }

 private:
  FT_Library library_ = nullptr;
  FT_Face face_ = nullptr;
};

}  // namespace

void PaintHeader(BitmapPage& page, const HeaderText& text, int page_number, int pages, const OleDate& now) {
  const int rows = std::clamp(text.height, 0, static_cast<int>(page.rows));
  if (rows == 0) return;
  std::memset(page.bits.data(), 0, static_cast<size_t>(rows) * page.Stride());
  Pen pen(text.face, std::max(text.font_size, 1), page.x_dpi, page.y_dpi);
  if (!pen.Ready()) return;
  const int margin = static_cast<int>(page.x_dpi / 8);  // an eighth of an inch
  const int baseline = (rows + pen.Ascender() - pen.Descender()) / 2;
  const std::string left = ExpandHeader(text.left, text, page_number, pages, now);
  const std::string center = ExpandHeader(text.center, text, page_number, pages, now);
  const std::string right = ExpandHeader(text.right, text, page_number, pages, now);
  const int width = static_cast<int>(page.width);
  pen.Draw(page, left, margin, baseline, rows);
  pen.Draw(page, center, (width - pen.Width(center)) / 2, baseline, rows);
  pen.Draw(page, right, width - margin - pen.Width(right), baseline, rows);
}

}  // namespace qvfax::pages
