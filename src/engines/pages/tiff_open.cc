#include "engines/pages/tiff_open.h"

#include <cstdarg>

namespace qvfax::pages {

namespace {

int Quiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }  // handled: not passed on

}  // namespace

TIFF* OpenTiff(const std::string& path, const char* mode) {
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (!options) return nullptr;
  TIFFOpenOptionsSetErrorHandlerExtR(options, Quiet, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options, Quiet, nullptr);
  TIFF* tiff = TIFFOpenExt(path.c_str(), mode, options);
  TIFFOpenOptionsFree(options);
  return tiff;
}

}  // namespace qvfax::pages
