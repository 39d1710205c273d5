// What kind of document a file is, by its first bytes rather than its name.
#pragma once

#include <string>

namespace qvfax::documents {

enum class DocumentKind { kPdf, kPostScript, kTiff, kPng, kJpeg, kText };

// Throws DocumentError for a missing file, a folder, an empty file or a kind
// qvfax cannot fax.
DocumentKind Sniff(const std::string& file);

}  // namespace qvfax::documents
