// The image readers fed damaged files: seeded random mutations and
// truncations of small good PNG, JPEG and TIFF images must decode or give a
// DocumentError, never a crash or a hang (the sanitizer build runs this too),
// whatever another library did to libtiff's handlers first.
// The number of cases bounds its time.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "document_maker.h"
#include "documents/document_error.h"
#include "documents/raster_pages.h"
#include "tiff_maker.h"

namespace qvfax::documents {
namespace {

using testing::ScratchPath;

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

constexpr int kRounds = 400;

class ImageReaderFuzz : public ::testing::TestWithParam<const char*> {};

TEST_P(ImageReaderFuzz, DamagedImagesGiveErrorsNotCrashes) {
  const std::string kind = GetParam();
  // ImageMagick's TIFF coder, once loaded, puts in process-wide libtiff
  // handlers of its own: our readers' errors must not reach them.
  testing::WriteImage(ScratchPath("fuzz-magick.tif"), 8, 8, 72, false);
  const std::string good_path = ScratchPath(std::string("fuzz-good.") + kind);
  if (kind == "tif") {
    testing::WriteTiledTiff(good_path, 300, 300);
  } else {
    testing::WriteImage(good_path, 120, 90, 72, kind == "jpg");
  }
  const std::string good = Bytes(good_path);
  ASSERT_FALSE(good.empty());

  std::mt19937 random(20261206);
  const std::string damaged = ScratchPath(std::string("fuzz-damaged.") + kind);
  int refused = 0, prepared = 0;
  for (int round = 0; round < kRounds; ++round) {
    std::string bytes = good;
    if (round % 4 == 0) {
      bytes.resize(random() % bytes.size());  // truncated
    } else {
      const int flips = 1 + static_cast<int>(random() % 8);
      for (int i = 0; i < flips; ++i) bytes[random() % bytes.size()] = static_cast<char>(random());
    }
    std::ofstream(damaged, std::ios::binary | std::ios::trunc) << bytes;
    try {
      const int pages = CountImagePages(damaged, {});
      for (int page = 1; page <= pages; ++page) DecodeImagePage(damaged, page, {});
      ++prepared;
    } catch (const DocumentError& e) {
      EXPECT_NE(std::string(e.what()).find(damaged), std::string::npos) << e.what();
      ++refused;
    }
  }
  EXPECT_EQ(refused + prepared, kRounds);
  EXPECT_GT(refused, 0) << "some damage must be noticed";
}

INSTANTIATE_TEST_SUITE_P(Kinds, ImageReaderFuzz, ::testing::Values("png", "jpg", "tif"));

}  // namespace
}  // namespace qvfax::documents
