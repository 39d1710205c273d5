// Documents tests write themselves: PostScript pages as text, PDF through
// Ghostscript, images through Magick++ and libtiff.
#pragma once

#include <string>

namespace qvfax::testing {

// `pages` A4 pages of PostScript, each with its number in large type.
std::string WritePostScript(const std::string& path, int pages);
// The same pages as a PDF (Ghostscript's pdfwrite); `password` encrypts it.
std::string WritePdf(const std::string& path, int pages, const std::string& password = "");
// A grey or colour gradient with a black frame, `columns` x `rows` at `dpi`.
std::string WriteImage(const std::string& path, size_t columns, size_t rows, double dpi, bool colour);
// The image at `from` written again to `to` (its extension names the format)
// in another form: bits a sample, interlaced (PNG), or CMYK (JPEG).
struct ImageForm {
  int depth = 8;
  bool interlaced = false;
  bool cmyk = false;
};
std::string RewriteImage(const std::string& from, const std::string& to, ImageForm form);
// A tiled 8-bit grey TIFF.
std::string WriteTiledTiff(const std::string& path, uint32_t columns, uint32_t rows);
// A bilevel TIFF page of `columns` at 204 x `y_dpi`, a black bar every 64 rows.
// T.6 coded, or T.4 two-dimensional when `t4` is set.
std::string WriteBilevelTiff(const std::string& path, uint32_t columns, uint32_t rows, float y_dpi, bool t4 = false,
                             bool big = false);
// A PNG whose every pixel is black, transparent but for an opaque square in the middle a quarter as wide.
std::string WriteTransparentPng(const std::string& path, size_t columns, size_t rows);

}  // namespace qvfax::testing
