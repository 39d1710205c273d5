// PNG through libpng, row by row, its transforms bringing every kind
// (palette, grey of 1 to 16 bits, colour, transparency) to 8-bit grey with
// opacity. An interlaced image arrives in passes over the whole page, so it
// alone is read whole, at two bytes a pixel. libpng reports errors by a
// jump: every call into it sits behind a setjmp in a frame that holds
// nothing with a destructor.
#include <png.h>
#include <stdio.h>

#include <algorithm>
#include <vector>

#include "documents/document_error.h"
#include "documents/image_decoders.h"

namespace qvfax::documents {

namespace {

struct Errors {
  char message[256] = "";
};

void OnError(png_structp png, png_const_charp text) {
  auto* errors = static_cast<Errors*>(png_get_error_ptr(png));
  snprintf(errors->message, sizeof errors->message, "%s", text);
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

class PngRows final : public GreyRows {
 public:
  PngRows(const std::string& file, const RasterLimits& limits) : file_(file) {
    in_ = fopen(file.c_str(), "rb");
    if (!in_) throw DocumentError(file, 0, "cannot be read");
    try {
      if (!Begin()) Fail();
      CheckDeclaredSize(file, 1, png_get_image_width(png_, info_), png_get_image_height(png_, info_), limits);
      if (!Prepare()) Fail();
    } catch (...) {
      Release();
      throw;
    }
  }

  ~PngRows() override { Release(); }

  void Next(float* row) override {
    const uint8_t* pixels = nullptr;
    if (interlaced_) {
      if (whole_.empty()) {
        whole_.resize(static_cast<size_t>(stride_) * rows_);
        if (!ReadWhole()) Fail();
      }
      pixels = whole_.data() + static_cast<size_t>(next_) * stride_;
    } else {
      if (!ReadRow()) Fail();
      pixels = line_.data();
    }
    ++next_;
    for (uint32_t x = 0; x < columns_; ++x) {
      if (channels_ == 2) {
        // Grey over white paper by its opacity.
        const float alpha = pixels[2 * x + 1] / 255.0f;
        row[x] = (pixels[2 * x] / 255.0f) * alpha + (1.0f - alpha);
      } else {
        row[x] = pixels[x] / 255.0f;
      }
    }
  }

 private:
  void Release() {
    if (png_) png_destroy_read_struct(&png_, info_ ? &info_ : nullptr, nullptr);
    png_ = nullptr;
    info_ = nullptr;
    if (in_) fclose(in_);
    in_ = nullptr;
  }

  bool Begin() {
    png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, &errors_, OnError, OnWarning);
    if (!png_) return false;
    info_ = png_create_info_struct(png_);
    if (!info_) return false;
    if (setjmp(png_jmpbuf(png_))) return false;
    png_init_io(png_, in_);
    png_read_info(png_, info_);
    return true;
  }

  bool Prepare() {
    if (setjmp(png_jmpbuf(png_))) return false;
    columns_ = png_get_image_width(png_, info_);
    rows_ = png_get_image_height(png_, info_);
    const int type = png_get_color_type(png_, info_);
    bilevel_ = png_get_bit_depth(png_, info_) == 1 && type == PNG_COLOR_TYPE_GRAY;
    png_uint_32 x = 0, y = 0;
    int unit = 0;
    if (png_get_pHYs(png_, info_, &x, &y, &unit) && unit == PNG_RESOLUTION_METER && x > 0 && y > 0) {
      dpi_ = {x * 0.0254, y * 0.0254};
    }
    png_set_expand(png_);
    png_set_scale_16(png_);
    if (type & PNG_COLOR_MASK_COLOR) png_set_rgb_to_gray(png_, PNG_ERROR_ACTION_NONE, -1, -1);
    interlaced_ = png_set_interlace_handling(png_) > 1;
    png_read_update_info(png_, info_);
    channels_ = png_get_channels(png_, info_);
    stride_ = static_cast<uint32_t>(png_get_rowbytes(png_, info_));
    if (!interlaced_) line_.resize(stride_);
    return channels_ == 1 || channels_ == 2;
  }

  bool ReadRow() {
    if (setjmp(png_jmpbuf(png_))) return false;
    png_read_row(png_, line_.data(), nullptr);
    return true;
  }

  bool ReadWhole() {
    std::vector<png_bytep> pointers(rows_);
    for (uint32_t y = 0; y < rows_; ++y) pointers[y] = whole_.data() + static_cast<size_t>(y) * stride_;
    return ReadInto(pointers.data());
  }

  bool ReadInto(png_bytepp pointers) {
    if (setjmp(png_jmpbuf(png_))) return false;
    png_read_image(png_, pointers);
    return true;
  }

  [[noreturn]] void Fail() const {
    throw DocumentError(file_, 1, std::string("cannot be read: ") + (*errors_.message ? errors_.message : "not a PNG qvfax reads"));
  }

  std::string file_;
  FILE* in_ = nullptr;
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
  Errors errors_;
  bool interlaced_ = false;
  int channels_ = 1;
  uint32_t stride_ = 0, next_ = 0;
  std::vector<uint8_t> line_, whole_;
};

}  // namespace

std::unique_ptr<GreyRows> OpenPngRows(const std::string& file, const RasterLimits& limits) {
  return std::make_unique<PngRows>(file, limits);
}

}  // namespace qvfax::documents
