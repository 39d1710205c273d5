#include "documents/grey_rows.h"

#include <fstream>
#include <optional>
#include <vector>

#include <fmt/format.h>

#include "documents/document_error.h"
#include "documents/image_decoders.h"
#include "documents/sniff.h"

namespace qvfax::documents {

void CheckDeclaredSize(const std::string& file, int page, uint64_t columns, uint64_t rows, const RasterLimits& limits) {
  if (columns == 0 || rows == 0) throw DocumentError(file, page, "an image of no pixels");
  if (columns > limits.max_side || rows > limits.max_side || columns * rows > limits.max_pixels) {
    throw DocumentError(file, page, fmt::format("declares {} x {} pixels, more than qvfax reads", columns, rows));
  }
}

namespace {

// The width and height a PNG (its IHDR) or a JPEG (its frame header)
// declares, read before any decoder: a file that claims too much is refused
// by that claim, whatever else is wrong with it.
std::optional<std::pair<uint64_t, uint64_t>> DeclaredSize(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<uint8_t> head(64 * 1024);
  in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<size_t>(in.gcount()));
  const auto be = [&](size_t at, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v = v << 8 | head[at + i];
    return v;
  };
  if (head.size() >= 24 && head[0] == 0x89 && head[1] == 'P') return std::pair{be(16, 4), be(20, 4)};
  if (head.size() < 4 || head[0] != 0xff || head[1] != 0xd8) return std::nullopt;
  for (size_t at = 2; at + 9 <= head.size() && head[at] == 0xff;) {
    const uint8_t marker = head[at + 1];
    const bool frame = marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
    if (frame) return std::pair{be(at + 7, 2), be(at + 5, 2)};
    at += 2 + be(at + 2, 2);
  }
  return std::nullopt;
}

}  // namespace

std::unique_ptr<GreyRows> OpenGreyRows(const std::string& file, int page, const RasterLimits& limits) {
  const DocumentKind kind = Sniff(file);
  if (kind != DocumentKind::kTiff) {
    if (const auto size = DeclaredSize(file)) CheckDeclaredSize(file, page, size->first, size->second, limits);
  }
  switch (kind) {
    case DocumentKind::kTiff: return OpenTiffRows(file, page, limits);
    case DocumentKind::kPng: return OpenPngRows(file, limits);
    case DocumentKind::kJpeg:
      if (auto rows = OpenJpegRows(file, limits)) return rows;
      return OpenMagickRows(file, page, limits);
    default: return OpenMagickRows(file, page, limits);
  }
}

}  // namespace qvfax::documents
