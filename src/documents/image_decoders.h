// The decoders behind OpenGreyRows, one a format: libtiff, libjpeg and libpng
// read row by row; Magick++ reads what they do not (GIF, BMP, WebP, CMYK JPEG).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "documents/grey_rows.h"

namespace qvfax::documents {

// Throws DocumentError when a page declares no pixels or more than the limits allow.
void CheckDeclaredSize(const std::string& file, int page, uint64_t columns, uint64_t rows, const RasterLimits& limits);

// Grey of an RGB pixel, 0 to 255, as the eye weighs the colours.
inline float Luma(float r, float g, float b) { return 0.299f * r + 0.587f * g + 0.114f * b; }

std::unique_ptr<GreyRows> OpenTiffRows(const std::string& file, int page, const RasterLimits& limits);
// nullptr for a JPEG libjpeg cannot give as grey (CMYK).
std::unique_ptr<GreyRows> OpenJpegRows(const std::string& file, const RasterLimits& limits);
std::unique_ptr<GreyRows> OpenPngRows(const std::string& file, const RasterLimits& limits);
std::unique_ptr<GreyRows> OpenMagickRows(const std::string& file, int page, const RasterLimits& limits);

}  // namespace qvfax::documents
