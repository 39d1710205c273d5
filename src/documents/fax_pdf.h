// A received fax as a PDF anyone can open: each page's T.6 (MMR) coding put
// as it is into the PDF as a CCITT image, at the page's own size on paper.
#pragma once

#include <string>

namespace qvfax::documents {

// Writes every page of the fax TIFF `fax` into `pdf` (replacing it); throws
// DocumentError naming the file that cannot be read or written.
void WriteFaxPdf(const std::string& fax, const std::string& pdf);

}  // namespace qvfax::documents
