#include "engines/pages/tiff_pages.h"

#include <tiffio.h>

#include <filesystem>
#include <memory>

#include "engines/pages/tiff_open.h"
#include "values/enums.h"

namespace qvfax::pages {

namespace {

struct TiffCloser {
  void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using TiffFile = std::unique_ptr<TIFF, TiffCloser>;

int32_t Open(const std::string& file, TiffFile& out) {
  if (file.empty()) return qbfaxvmec_FAX_ERR_NO_FILE_TO_SEND;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) return qbfaxvmec_FAX_ERR_SEND_FILE_NOT_EXISTS;
  out.reset(OpenTiff(file, "rm"));
  if (!out) return qbfaxvmec_FAX_ERR_UNRECOGNIZED_FILEFORMAT;
  return 0;
}

}  // namespace

int32_t CountPages(const std::string& file) {
  TiffFile tiff;
  if (int32_t error = Open(file, tiff)) return error;
  int32_t pages = 0;
  do {
    ++pages;
  } while (TIFFReadDirectory(tiff.get()) == 1);
  return pages;
}

int32_t CheckPage(const std::string& file, int32_t page) {
  TiffFile tiff;
  if (int32_t error = Open(file, tiff)) return error;
  if (page < 1 || !TIFFSetDirectory(tiff.get(), static_cast<tdir_t>(page - 1))) {
    return qbfaxvmec_FER_BAD_PAGENUM;
  }
  uint32_t width = 0, length = 0;
  if (!TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width) ||
      !TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &length) || width == 0 || length == 0) {
    return qbfaxvmec_FAX_ERR_UNRECOGNIZED_FILEFORMAT;
  }
  return 0;
}

}  // namespace qvfax::pages
