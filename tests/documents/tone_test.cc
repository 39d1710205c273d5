// Grey to black and white: content kept on pale, dark and photographic pages.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "documents/tone.h"

namespace qvfax::documents {
namespace {

constexpr uint32_t kSide = 200;

GreyImage Paint(const std::function<float(uint32_t x, uint32_t y)>& grey) {
  GreyImage image;
  image.columns = image.rows = kSide;
  for (uint32_t y = 0; y < kSide; ++y) {
    for (uint32_t x = 0; x < kSide; ++x) image.grey.push_back(grey(x, y));
  }
  return image;
}

// The share of ink among the pixels of columns [from, to).
double InkIn(const std::vector<bool>& ink, uint32_t from, uint32_t to) {
  size_t count = 0;
  for (uint32_t y = 0; y < kSide; ++y) {
    for (uint32_t x = from; x < to; ++x) count += ink[static_cast<size_t>(y) * kSide + x];
  }
  return static_cast<double>(count) / (static_cast<double>(to - from) * kSide);
}

TEST(Tone, EachKindOfPageKeepsItsContent) {
  struct Row {
    const char* page;
    std::function<float(uint32_t, uint32_t)> grey;
    uint32_t from, to;     // a band of columns
    double least, most;    // of ink in it
  } rows[] = {
      // Pale grey text (a stroke) on pale paper: the text is ink, the paper is not.
      {"pale text", [](uint32_t x, uint32_t) { return x >= 100 && x < 104 ? 0.78f : 0.9f; }, 100, 104, 0.9, 1.0},
      {"pale text's paper", [](uint32_t x, uint32_t) { return x >= 100 && x < 104 ? 0.78f : 0.9f; }, 0, 90, 0.0, 0.01},
      // A faint stroke beside a black one stays.
      {"faint stroke", [](uint32_t x, uint32_t) { return x >= 50 && x < 53 ? 0.0f : x >= 150 && x < 153 ? 0.8f : 1.0f; },
       150, 153, 0.8, 1.0},
      // A dark page with a lighter line: the line stands out from the page.
      {"dark page", [](uint32_t x, uint32_t) { return x >= 100 && x < 110 ? 0.45f : 0.2f; }, 0, 90, 0.9, 1.0},
      {"its lighter line", [](uint32_t x, uint32_t) { return x >= 100 && x < 110 ? 0.45f : 0.2f; }, 100, 110, 0.0, 0.1},
      // A ramp keeps its light half: a quarter ink where it is three quarters light.
      {"ramp, light end", [](uint32_t x, uint32_t) { return x / float(kSide - 1); }, 140, 160, 0.18, 0.32},
      {"ramp, dark end", [](uint32_t x, uint32_t) { return x / float(kSide - 1); }, 40, 60, 0.68, 0.82},
      // A photo, dark on the whole (mean a third): its mean tone is kept, not crushed.
      {"photo", [](uint32_t x, uint32_t y) { const float t = (x + y) / float(2 * kSide - 2); return t * t; }, 0, kSide,
       0.6, 0.73},
  };
  for (const auto& row : rows) {
    const auto ink = ToBlackAndWhite(Paint(row.grey));
    ASSERT_EQ(ink.size(), kSide * kSide);
    const double share = InkIn(ink, row.from, row.to);
    EXPECT_GE(share, row.least) << row.page;
    EXPECT_LE(share, row.most) << row.page;
  }
}

}  // namespace
}  // namespace qvfax::documents
