#include "documents/sniff.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <filesystem>
#include <fstream>

#include "documents/document_error.h"
#include "documents/plain_text.h"

namespace qvfax::documents {

DocumentKind Sniff(const std::string& file) {
  std::error_code ec;
  const auto status = std::filesystem::status(file, ec);
  if (ec || !std::filesystem::exists(status)) throw DocumentError(file, 0, "no such file");
  if (std::filesystem::is_directory(status)) throw DocumentError(file, 0, "a folder, not a document");
  // A pipe or a device would hold the preparation of every document until someone wrote to it.
  if (!std::filesystem::is_regular_file(status)) throw DocumentError(file, 0, "not a regular file");
  std::ifstream in(file, std::ios::binary);
  if (!in) throw DocumentError(file, 0, "cannot be read");
  char head[4096] = {};
  in.read(head, sizeof head);
  const auto got = static_cast<size_t>(in.gcount());
  if (got == 0) throw DocumentError(file, 0, "an empty file");
  auto starts = [&](const char* magic, size_t n) { return got >= n && std::memcmp(head, magic, n) == 0; };
  // PDF readers look for the header anywhere in the first kilobyte: after a
  // byte order mark, a blank line, or a mail program's leftovers.
  const std::string_view first_kilobyte(head, std::min<size_t>(got, 1024));
  if (first_kilobyte.find("%PDF-") != std::string_view::npos) return DocumentKind::kPdf;
  if (starts("%!", 2)) return DocumentKind::kPostScript;
  // Classic TIFF (42) and BigTIFF (43), either byte order.
  if (starts("II*\0", 4) || starts("MM\0*", 4) || starts("II+\0", 4) || starts("MM\0+", 4)) return DocumentKind::kTiff;
  if (starts("\x89PNG\r\n\x1a\n", 8)) return DocumentKind::kPng;
  if (starts("\xff\xd8\xff", 3)) return DocumentKind::kJpeg;
  if (LooksLikeText(head, got)) return DocumentKind::kText;
  throw DocumentError(file, 0, "not a document qvfax can fax (PDF, PostScript, TIFF, PNG, JPEG or plain text)");
}

}  // namespace qvfax::documents
