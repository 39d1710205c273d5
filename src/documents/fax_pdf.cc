#include "documents/fax_pdf.h"

#include <tiffio.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

#include <fmt/format.h>

#include "documents/document_error.h"
#include "engines/pages/bitmap_page.h"
#include "engines/pages/tiff_open.h"
#include "engines/pages/tiff_pages.h"

namespace qvfax::documents {

namespace {

struct CodedPage {
  uint32_t width = 0, rows = 0;
  float x_dpi = 204, y_dpi = 196;
  std::string g4;  // T.6 data, most significant bit first
};

// The page coded T.6 as our own fax writer codes it: one strip, so its raw
// strip is the whole page's coding.
CodedPage Code(const pages::BitmapPage& page, const std::string& scratch) {
  if (pages::WriteFaxDocument(scratch, {page}) != 0) throw DocumentError(scratch, 0, "cannot be written");
  std::unique_ptr<TIFF, void (*)(TIFF*)> tiff(pages::OpenTiff(scratch, "r"), [](TIFF* t) {
    if (t) TIFFClose(t);
  });
  if (!tiff || TIFFNumberOfStrips(tiff.get()) != 1) throw DocumentError(scratch, 0, "cannot be read back");
  CodedPage coded{page.width, page.rows, page.x_dpi, page.y_dpi, {}};
  coded.g4.resize(static_cast<size_t>(TIFFRawStripSize(tiff.get(), 0)));
  const tmsize_t read = TIFFReadRawStrip(tiff.get(), 0, coded.g4.data(), static_cast<tmsize_t>(coded.g4.size()));
  if (read < 0) throw DocumentError(scratch, 0, "cannot be read back");
  coded.g4.resize(static_cast<size_t>(read));
  // Fax files keep the first bit of each byte last; a PDF reads it first.
  uint16_t fill = FILLORDER_MSB2LSB;
  TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_FILLORDER, &fill);
  if (fill == FILLORDER_LSB2MSB) {
    TIFFReverseBits(reinterpret_cast<uint8_t*>(coded.g4.data()), static_cast<tmsize_t>(coded.g4.size()));
  }
  return coded;
}

}  // namespace

void WriteFaxPdf(const std::string& fax, const std::string& pdf) {
  const int pages = pages::CountPages(fax);
  if (pages <= 0) throw DocumentError(fax, 0, "not a fax qvfax can read");
  const std::string scratch = pdf + fmt::format(".{}.tif", ::getpid());
  std::ostringstream out;
  std::vector<size_t> offsets;  // of objects 1, 2, ...
  const auto begin_object = [&] {
    offsets.push_back(static_cast<size_t>(out.tellp()));
    return offsets.size();
  };
  out << "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n";
  begin_object();
  out << "1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n";
  begin_object();
  out << "2 0 obj\n<< /Type /Pages /Kids [";
  for (int p = 0; p < pages; ++p) out << fmt::format("{} 0 R ", 3 + 3 * p);
  out << fmt::format("] /Count {} >>\nendobj\n", pages);
  try {
    for (int p = 1; p <= pages; ++p) {
      pages::BitmapPage page;
      if (const int32_t error = pages::ReadBitmapPage(fax, p, page)) {
        throw DocumentError(fax, p, fmt::format("cannot be read (error {})", error));
      }
      const CodedPage coded = Code(page, scratch);
      const double width_pt = coded.width / coded.x_dpi * 72.0, height_pt = coded.rows / coded.y_dpi * 72.0;
      const size_t page_object = begin_object();
      out << fmt::format(
          "{} 0 obj\n<< /Type /Page /Parent 2 0 R /MediaBox [0 0 {:.2f} {:.2f}] /Resources << /XObject << /Im0 {} 0 R >> >>"
          " /Contents {} 0 R >>\nendobj\n",
          page_object, width_pt, height_pt, page_object + 1, page_object + 2);
      begin_object();
      out << fmt::format(
          "{} 0 obj\n<< /Type /XObject /Subtype /Image /Width {} /Height {} /ColorSpace /DeviceGray /BitsPerComponent 1"
          " /Filter /CCITTFaxDecode /DecodeParms << /K -1 /Columns {} /Rows {} >> /Length {} >>\nstream\n",
          page_object + 1, coded.width, coded.rows, coded.width, coded.rows, coded.g4.size());
      out << coded.g4 << "\nendstream\nendobj\n";
      const std::string content = fmt::format("q {:.2f} 0 0 {:.2f} 0 0 cm /Im0 Do Q\n", width_pt, height_pt);
      begin_object();
      out << fmt::format("{} 0 obj\n<< /Length {} >>\nstream\n{}endstream\nendobj\n", page_object + 2, content.size(),
                         content);
    }
  } catch (...) {
    std::error_code ec;
    std::filesystem::remove(scratch, ec);
    throw;
  }
  std::error_code ec;
  std::filesystem::remove(scratch, ec);
  const size_t xref = static_cast<size_t>(out.tellp());
  out << fmt::format("xref\n0 {}\n0000000000 65535 f \n", offsets.size() + 1);
  for (const size_t offset : offsets) out << fmt::format("{:010} 00000 n \n", offset);
  out << fmt::format("trailer\n<< /Size {} /Root 1 0 R >>\nstartxref\n{}\n%%EOF\n", offsets.size() + 1, xref);
  std::ofstream file(pdf, std::ios::binary | std::ios::trunc);
  file << out.str();
  if (!file.flush()) throw DocumentError(pdf, 0, "cannot be written");
}

}  // namespace qvfax::documents
