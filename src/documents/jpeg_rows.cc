// JPEG through libjpeg, row by row, decoded straight to grey and reduced in
// the transform itself (a scale of n/8) when the page is wanted smaller.
// libjpeg reports errors by a jump: every call into it sits behind a
// setjmp in a frame that holds nothing with a destructor, and the error
// becomes an exception once back in C++.
#include <setjmp.h>
#include <stdio.h>

#include <jpeglib.h>

#include <algorithm>
#include <vector>

#include "documents/document_error.h"
#include "documents/image_decoders.h"

namespace qvfax::documents {

namespace {

struct ErrorManager {
  jpeg_error_mgr base;
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void JumpOnError(j_common_ptr info) {
  auto* errors = reinterpret_cast<ErrorManager*>(info->err);
  (*info->err->format_message)(info, errors->message);
  longjmp(errors->jump, 1);
}

void Quiet(j_common_ptr, int) {}

class JpegRows final : public GreyRows {
 public:
  JpegRows(const std::string& file, const RasterLimits& limits) : file_(file) {
    in_ = fopen(file.c_str(), "rb");
    if (!in_) throw DocumentError(file, 0, "cannot be read");
    info_.err = jpeg_std_error(&errors_.base);
    errors_.base.error_exit = JumpOnError;
    errors_.base.emit_message = Quiet;
    try {
      if (!Begin()) Fail();
      CheckDeclaredSize(file, 1, info_.image_width, info_.image_height, limits);
    } catch (...) {
      Release();
      throw;
    }
    columns_ = info_.image_width;
    rows_ = info_.image_height;
    if (info_.saw_JFIF_marker && info_.X_density > 0 && info_.Y_density > 0 && info_.density_unit != 0) {
      const double scale = info_.density_unit == 2 ? 2.54 : 1.0;
      dpi_ = {info_.X_density * scale, info_.Y_density * scale};
    }
  }

  ~JpegRows() override { Release(); }

  // libjpeg gives grey from grey and YCbCr; CMYK is left to Magick++.
  bool Greyable() const { return info_.jpeg_color_space == JCS_GRAYSCALE || info_.jpeg_color_space == JCS_YCbCr; }

  void ReduceTowards(uint32_t columns, uint32_t rows) override {
    unsigned eighths = 8;
    while (eighths > 1 && info_.image_width * (eighths - 1) / 8 >= columns && info_.image_height * (eighths - 1) / 8 >= rows) {
      --eighths;
    }
    if (!Scale(eighths)) Fail();
    const double reduced_by = static_cast<double>(info_.output_width) / info_.image_width;
    columns_ = info_.output_width;
    rows_ = info_.output_height;
    dpi_ = {dpi_.first * reduced_by, dpi_.second * reduced_by};
  }

  void Next(float* row) override {
    if (!started_) {
      if (!Start()) Fail();
      started_ = true;
      line_.resize(columns_);
    }
    if (!ReadLine()) Fail();
    for (uint32_t x = 0; x < columns_; ++x) row[x] = static_cast<float>(line_[x]) / 255.0f;
  }

 private:
  void Release() {
    if (created_) jpeg_destroy_decompress(&info_);
    created_ = false;
    if (in_) fclose(in_);
    in_ = nullptr;
  }

  bool Begin() {
    if (setjmp(errors_.jump)) return false;
    jpeg_create_decompress(&info_);
    created_ = true;
    jpeg_stdio_src(&info_, in_);
    jpeg_read_header(&info_, TRUE);
    return true;
  }

  bool Scale(unsigned eighths) {
    if (setjmp(errors_.jump)) return false;
    info_.scale_num = eighths;
    info_.scale_denom = 8;
    jpeg_calc_output_dimensions(&info_);
    return true;
  }

  bool Start() {
    if (setjmp(errors_.jump)) return false;
    info_.out_color_space = JCS_GRAYSCALE;
    info_.dct_method = JDCT_ISLOW;
    jpeg_start_decompress(&info_);
    return info_.output_width == columns_ && info_.output_height == rows_;
  }

  bool ReadLine() {
    if (setjmp(errors_.jump)) return false;
    JSAMPROW lines[1] = {line_.data()};
    // A file that ends early reads as grey to its end, as viewers show it.
    if (info_.output_scanline < info_.output_height) jpeg_read_scanlines(&info_, lines, 1);
    return true;
  }

  [[noreturn]] void Fail() const { throw DocumentError(file_, 1, std::string("cannot be read: ") + errors_.message); }

  std::string file_;
  FILE* in_ = nullptr;
  jpeg_decompress_struct info_{};
  ErrorManager errors_{};
  bool created_ = false, started_ = false;
  std::vector<JSAMPLE> line_;
};

}  // namespace

std::unique_ptr<GreyRows> OpenJpegRows(const std::string& file, const RasterLimits& limits) {
  auto rows = std::make_unique<JpegRows>(file, limits);
  if (!rows->Greyable()) return nullptr;
  return rows;
}

}  // namespace qvfax::documents
