// Opening a TIFF whose errors and warnings stay with the caller. libtiff
// reports through process-wide handlers that any library may replace:
// ImageMagick puts in its own when it loads its TIFF coder, and they fail
// outside its reading. A file opened here has handlers of its own instead,
// which keep quiet: callers say what went wrong by the results they get.
#pragma once

#include <tiffio.h>

#include <string>

namespace qvfax::pages {

// As TIFFOpen; nullptr when the file cannot be opened as a TIFF.
TIFF* OpenTiff(const std::string& path, const char* mode);

}  // namespace qvfax::pages
