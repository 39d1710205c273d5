// One fax page as a bitmap: the form in which pages are checked, given a
// header, assembled into the document a call sends, and compared after it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qvfax::pages {

struct BitmapPage {
  uint32_t width = 0;      // pixels
  uint32_t rows = 0;
  float x_dpi = 204.0f;
  float y_dpi = 196.0f;
  std::vector<uint8_t> bits;  // rows of width/8 bytes, 1 = black, first pixel in the top bit

  size_t Stride() const { return (width + 7) / 8; }
  uint8_t* Row(uint32_t y) { return bits.data() + y * Stride(); }
  const uint8_t* Row(uint32_t y) const { return bits.data() + y * Stride(); }
  bool Ink(uint32_t x, uint32_t y) const { return (Row(y)[x / 8] >> (7 - x % 8)) & 1; }
  void SetInk(uint32_t x, uint32_t y) { Row(y)[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8)); }
};

// Reads page `page` (from 1) of `file` into `out`. Returns 0, or the control's
// error code: -150 no such file, -166 not a TIFF, -60 no such page,
// -106 not a bilevel page (colour or grey), -101 not a fax page width,
// -85 image data that cannot be read (a truncated or damaged file).
int32_t ReadBitmapPage(const std::string& file, int32_t page, BitmapPage& out);

// Writes the pages as one TIFF/F document, T.6 coded. Returns 0 or -82.
int32_t WriteFaxDocument(const std::string& file, const std::vector<BitmapPage>& pages);

// The same, a page at a time, so a long document is never held whole.
class FaxTiffWriter {
 public:
  // `pages`: how many will be added (the TIFF page numbers say it).
  FaxTiffWriter(const std::string& file, uint16_t pages);
  ~FaxTiffWriter();
  FaxTiffWriter(const FaxTiffWriter&) = delete;
  FaxTiffWriter& operator=(const FaxTiffWriter&) = delete;

  bool ok() const { return tiff_ != nullptr; }
  int32_t Add(const BitmapPage& page);  // 0 or -82
  int32_t Close();                      // 0 or -82

 private:
  void* tiff_ = nullptr;
  uint16_t pages_ = 0, written_ = 0;
};

}  // namespace qvfax::pages
