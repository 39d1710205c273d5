#include "cli/progress.h"

#include <algorithm>

#include <fmt/format.h>

namespace qvfax::cli {

std::string ProgressBar(const Progress& p, int width) {
  const int done = p.pages > 0 ? std::clamp(p.page * width / p.pages, 0, width) : 0;
  return fmt::format("[{}{}] {:>2}/{} pages  {} bps  {}", std::string(static_cast<size_t>(done), '#'),
                     std::string(static_cast<size_t>(width - done), '-'), p.page, p.pages,
                     p.baud.empty() ? "-" : p.baud, p.status);
}

std::string ProgressLine(const Progress& p) {
  return fmt::format("page {}/{}, {} bps, {}", p.page, p.pages, p.baud.empty() ? "-" : p.baud, p.status);
}

}  // namespace qvfax::cli
