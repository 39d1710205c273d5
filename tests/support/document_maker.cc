#include "document_maker.h"
#include "engines/pages/tiff_open.h"

#include <tiffio.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <vector>

#include <Magick++.h>
#include <fmt/format.h>

namespace qvfax::testing {

std::string WritePostScript(const std::string& path, int pages) {
  std::ofstream out(path);
  out << "%!PS-Adobe-3.0\n%%Pages: " << pages << "\n";
  for (int page = 1; page <= pages; ++page) {
    out << fmt::format("%%Page: {0} {0}\n<< /PageSize [595 842] >> setpagedevice\n"
                       "/Helvetica findfont 96 scalefont setfont 72 700 moveto (Page {0}) show\n"
                       "20 20 555 802 rectstroke\n/Courier findfont 10 scalefont setfont\n",
                       page);
    // A page of text, as letters are.
    for (int line = 0; line < 55; ++line) {
      out << fmt::format("60 {} moveto (Line {:02} of page {}: the quick brown fox jumps over the lazy dog 0123456789) show\n",
                         660 - line * 11, line + 1, page);
    }
    out << "showpage\n";
  }
  out << "%%EOF\n";
  return path;
}

std::string WritePdf(const std::string& path, int pages, const std::string& password) {
  const std::string ps = WritePostScript(path + ".ps", pages);
  std::string command = "gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite";
  if (!password.empty()) command += " -sOwnerPassword=" + password + "x -sUserPassword=" + password;
  command += " -sOutputFile='" + path + "' '" + ps + "' 2>/dev/null";
  if (std::system(command.c_str()) != 0) throw std::runtime_error("Ghostscript could not write " + path);
  return path;
}

std::string WriteImage(const std::string& path, size_t columns, size_t rows, double dpi, bool colour) {
  static bool started = [] {
    Magick::InitializeMagick(nullptr);
    return true;
  }();
  (void)started;
  Magick::Image image(Magick::Geometry(columns, rows), Magick::Color("white"));
  image.type(colour ? Magick::TrueColorType : Magick::GrayscaleType);
  image.modifyImage();
  Magick::Pixels view(image);
  Magick::PixelPacket* pixels = view.get(0, 0, columns, rows);
  for (size_t y = 0; y < rows; ++y) {
    for (size_t x = 0; x < columns; ++x) {
      auto& p = pixels[y * columns + x];
      const bool frame = x < columns / 50 || y < rows / 50 || x >= columns - columns / 50 || y >= rows - rows / 50;
      const auto level = static_cast<MagickCore::Quantum>(frame ? 0 : 65535.0 * x / columns);
      p.red = level;
      p.green = colour ? static_cast<MagickCore::Quantum>(frame ? 0 : 65535.0 * y / rows) : level;
      p.blue = level;
    }
  }
  view.sync();
  image.resolutionUnits(Magick::PixelsPerInchResolution);
  image.density(Magick::Geometry(static_cast<size_t>(dpi), static_cast<size_t>(dpi)));
  image.write(path);
  return path;
}

std::string RewriteImage(const std::string& from, const std::string& to, ImageForm form) {
  Magick::Image image(from);
  image.depth(static_cast<size_t>(form.depth));
  if (form.interlaced) image.interlaceType(Magick::PlaneInterlace);
  if (form.cmyk) image.type(Magick::ColorSeparationType);
  image.write(to);
  return to;
}

std::string WriteTiledTiff(const std::string& path, uint32_t columns, uint32_t rows) {
  TIFF* tiff = pages::OpenTiff(path, "w");
  if (!tiff) throw std::runtime_error("cannot write " + path);
  const uint32_t tile = 256;
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, columns);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, rows);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_DEFLATE);
  TIFFSetField(tiff, TIFFTAG_TILEWIDTH, tile);
  TIFFSetField(tiff, TIFFTAG_TILELENGTH, tile);
  TIFFSetField(tiff, TIFFTAG_XRESOLUTION, 200.0f);
  TIFFSetField(tiff, TIFFTAG_YRESOLUTION, 200.0f);
  TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  std::vector<uint8_t> data(tile * tile);
  for (uint32_t ty = 0; ty < rows; ty += tile) {
    for (uint32_t tx = 0; tx < columns; tx += tile) {
      for (uint32_t y = 0; y < tile; ++y) {
        for (uint32_t x = 0; x < tile; ++x) data[y * tile + x] = static_cast<uint8_t>(255 * (tx + x) / columns);
      }
      TIFFWriteTile(tiff, data.data(), tx, ty, 0, 0);
    }
  }
  TIFFClose(tiff);
  return path;
}

std::string WriteTransparentPng(const std::string& path, size_t columns, size_t rows) {
  WriteImage(path, 1, 1, 72, false);  // starts the library
  std::vector<uint8_t> rgba(columns * rows * 4, 0);
  for (size_t y = rows * 3 / 8; y < rows * 5 / 8; ++y) {
    for (size_t x = columns * 3 / 8; x < columns * 5 / 8; ++x) rgba[(y * columns + x) * 4 + 3] = 255;
  }
  Magick::Image image;
  image.read(columns, rows, "RGBA", Magick::CharPixel, rgba.data());
  image.resolutionUnits(Magick::PixelsPerInchResolution);
  image.density(Magick::Geometry(100, 100));
  image.write(path);
  return path;
}

std::string WriteBilevelTiff(const std::string& path, uint32_t columns, uint32_t rows, float y_dpi, bool t4, bool big) {
  TIFF* tiff = pages::OpenTiff(path, big ? "w8" : "w");
  if (!tiff) throw std::runtime_error("cannot write " + path);
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, columns);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, rows);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, t4 ? COMPRESSION_CCITTFAX3 : COMPRESSION_CCITTFAX4);
  if (t4) TIFFSetField(tiff, TIFFTAG_GROUP3OPTIONS, GROUP3OPT_2DENCODING);
  TIFFSetField(tiff, TIFFTAG_XRESOLUTION, 204.0f);
  TIFFSetField(tiff, TIFFTAG_YRESOLUTION, y_dpi);
  TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, rows);
  std::vector<uint8_t> row((columns + 7) / 8);
  for (uint32_t y = 0; y < rows; ++y) {
    std::fill(row.begin(), row.end(), y % 64 == 0 ? 0xFF : 0x00);
    row[0] |= 0x80;  // a black left edge on every row
    TIFFWriteScanline(tiff, row.data(), y, 0);
  }
  TIFFClose(tiff);
  return path;
}

}  // namespace qvfax::testing
