#include "documents/tone.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace qvfax::documents {

namespace {

constexpr int kBins = 1024;
constexpr float kPaperLevel = 0.85f;     // at least this light after stretching: paper
constexpr double kPaperShare = 0.6;      // a page that is this much paper is text-like
constexpr int kWindowRadius = 15;        // the neighbourhood a stroke is judged against
constexpr float kStrokeContrast = 0.08f; // darker than its neighbourhood by this: ink
constexpr float kInkLevel = 0.5f;        // darker than this: ink anywhere

// The grey at which `share` of the pixels are darker.
float Percentile(const std::array<uint64_t, kBins>& histogram, uint64_t total, double share) {
  uint64_t seen = 0;
  const auto wanted = static_cast<uint64_t>(share * static_cast<double>(total));
  for (int i = 0; i < kBins; ++i) {
    seen += histogram[i];
    if (seen > wanted) return static_cast<float>(i) / (kBins - 1);
  }
  return 1.0f;
}

void StretchLevels(GreyImage& image) {
  std::array<uint64_t, kBins> histogram{};
  for (const float g : image.grey) ++histogram[static_cast<size_t>(std::clamp(g, 0.0f, 1.0f) * (kBins - 1))];
  const auto total = static_cast<uint64_t>(image.grey.size());
  const float low = Percentile(histogram, total, 0.01), high = Percentile(histogram, total, 0.99);
  // A page of one tone has no levels to stretch: it stays as it is.
  if (high - low < 0.02f) return;
  for (float& g : image.grey) g = std::clamp((g - low) / (high - low), 0.0f, 1.0f);
}

std::vector<bool> ThresholdAgainstNeighbourhood(const GreyImage& image) {
  const uint32_t w = image.columns, h = image.rows;
  const auto grey = [&](uint32_t x, uint32_t y) { return image.grey[static_cast<size_t>(y) * w + x]; };
  // The window slides down the page: each column's sum over the window's
  // rows is kept, and slid across for each pixel, so the page is read twice
  // and nothing of its size is held.
  std::vector<double> columns(w, 0.0);
  uint32_t top = 0, bottom = 0;  // the rows [top, bottom) summed in `columns`
  std::vector<bool> ink(image.grey.size());
  for (uint32_t y = 0; y < h; ++y) {
    const uint32_t y0 = y > kWindowRadius ? y - kWindowRadius : 0, y1 = std::min(h, y + kWindowRadius + 1);
    for (; bottom < y1; ++bottom) {
      for (uint32_t x = 0; x < w; ++x) columns[x] += grey(x, bottom);
    }
    for (; top < y0; ++top) {
      for (uint32_t x = 0; x < w; ++x) columns[x] -= grey(x, top);
    }
    double sum = 0;
    uint32_t left = 0, right = 0;  // the columns [left, right) in `sum`
    for (uint32_t x = 0; x < w; ++x) {
      const uint32_t x0 = x > kWindowRadius ? x - kWindowRadius : 0, x1 = std::min(w, x + kWindowRadius + 1);
      for (; right < x1; ++right) sum += columns[right];
      for (; left < x0; ++left) sum -= columns[left];
      const double area = static_cast<double>(x1 - x0) * (y1 - y0);
      const float g = grey(x, y);
      const auto mean = static_cast<float>(sum / area);
      ink[static_cast<size_t>(y) * w + x] = g < kInkLevel || (g < mean - kStrokeContrast && g < kPaperLevel);
    }
  }
  return ink;
}

// Floyd and Steinberg's error diffusion, serpentine, on the grey as it is:
// the share of ink in any region follows its darkness.
std::vector<bool> Diffuse(GreyImage image) {
  const uint32_t w = image.columns, h = image.rows;
  std::vector<bool> ink(image.grey.size());
  auto at = [&](uint32_t x, uint32_t y) -> float& { return image.grey[static_cast<size_t>(y) * w + x]; };
  for (uint32_t y = 0; y < h; ++y) {
    const bool forward = y % 2 == 0;
    for (uint32_t i = 0; i < w; ++i) {
      const uint32_t x = forward ? i : w - 1 - i;
      const float old = at(x, y);
      const bool black = old < 0.5f;
      ink[static_cast<size_t>(y) * w + x] = black;
      const float error = old - (black ? 0.0f : 1.0f);
      const int step = forward ? 1 : -1;
      const auto spread = [&](int dx, uint32_t yy, float part) {
        const int xx = static_cast<int>(x) + dx;
        if (xx >= 0 && xx < static_cast<int>(w) && yy < h) at(static_cast<uint32_t>(xx), yy) += error * part;
      };
      spread(step, y, 7.0f / 16);
      spread(-step, y + 1, 3.0f / 16);
      spread(0, y + 1, 5.0f / 16);
      spread(step, y + 1, 1.0f / 16);
    }
  }
  return ink;
}

}  // namespace

std::vector<bool> ToBlackAndWhite(GreyImage image) {
  if (image.grey.empty()) return {};
  StretchLevels(image);
  const auto paper = std::count_if(image.grey.begin(), image.grey.end(), [](float g) { return g >= kPaperLevel; });
  if (static_cast<double>(paper) >= kPaperShare * static_cast<double>(image.grey.size())) {
    return ThresholdAgainstNeighbourhood(image);
  }
  return Diffuse(std::move(image));
}

}  // namespace qvfax::documents
