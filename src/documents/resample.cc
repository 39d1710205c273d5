#include "documents/resample.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <vector>

namespace qvfax::documents {

namespace {

// For each output position, the source positions it is made of and their weights.
struct Taps {
  std::vector<uint32_t> first, count;
  std::vector<float> weights;
  std::vector<size_t> at;  // where each position's weights begin
};

Taps MakeTaps(uint32_t from, uint32_t to) {
  Taps taps;
  const double step = static_cast<double>(from) / to;
  for (uint32_t i = 0; i < to; ++i) {
    taps.at.push_back(taps.weights.size());
    if (step >= 1.0) {
      // The area [i, i + 1) of the output covers [begin, end) of the source.
      const double begin = i * step, end = std::min<double>(from, (i + 1) * step);
      const auto first = static_cast<uint32_t>(begin);
      uint32_t last = static_cast<uint32_t>(std::ceil(end)) - 1;
      last = std::min(std::max(last, first), from - 1);
      for (uint32_t s = first; s <= last; ++s) {
        const double cover = std::min<double>(end, s + 1) - std::max<double>(begin, s);
        taps.weights.push_back(static_cast<float>(std::max(cover, 0.0) / step));
      }
      taps.first.push_back(first);
      taps.count.push_back(last - first + 1);
    } else {
      // Between the two source samples around the output's centre.
      const double centre = std::clamp((i + 0.5) * step - 0.5, 0.0, from - 1.0);
      const auto left = static_cast<uint32_t>(centre);
      const uint32_t right = std::min(left + 1, from - 1);
      const auto part = static_cast<float>(centre - left);
      taps.first.push_back(left);
      taps.count.push_back(right - left + 1);
      taps.weights.push_back(right == left ? 1.0f : 1.0f - part);
      if (right != left) taps.weights.push_back(part);
    }
  }
  return taps;
}

}  // namespace

GreyImage Resample(GreyRows& source, uint32_t columns, uint32_t rows) {
  const uint32_t source_columns = source.columns(), source_rows = source.rows();
  const Taps across = MakeTaps(source_columns, columns), down = MakeTaps(source_rows, rows);
  GreyImage out;
  out.columns = columns;
  out.rows = rows;
  out.grey.resize(static_cast<size_t>(columns) * rows);

  std::vector<float> line(source_columns);
  // Source rows already brought to the output's width, from `kept_from` on.
  std::deque<std::vector<float>> kept;
  uint32_t kept_from = 0, read = 0;
  for (uint32_t y = 0; y < rows; ++y) {
    const uint32_t first = down.first[y], last = first + down.count[y];
    while (kept_from < first && !kept.empty()) {
      kept.pop_front();
      ++kept_from;
    }
    while (read < last) {
      source.Next(line.data());
      ++read;
      if (read <= first) {
        kept_from = read;  // a row under no output row of its own
        continue;
      }
      std::vector<float> narrow(columns);
      for (uint32_t x = 0; x < columns; ++x) {
        const float* w = across.weights.data() + across.at[x];
        const float* s = line.data() + across.first[x];
        float sum = 0;
        for (uint32_t k = 0; k < across.count[x]; ++k) sum += w[k] * s[k];
        narrow[x] = sum;
      }
      kept.push_back(std::move(narrow));
    }
    float* row = out.grey.data() + static_cast<size_t>(y) * columns;
    const float* w = down.weights.data() + down.at[y];
    for (uint32_t k = 0; k < down.count[y]; ++k) {
      const std::vector<float>& from = kept[first + k - kept_from];
      for (uint32_t x = 0; x < columns; ++x) row[x] += w[k] * from[x];
    }
  }
  return out;
}

}  // namespace qvfax::documents
