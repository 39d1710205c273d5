// How the command line shows a fax's progress: a bar on a terminal, one
// plain line per change otherwise.
#pragma once

#include <string>

namespace qvfax::cli {

struct Progress {
  int page = 0;
  int pages = 0;
  std::string baud;
  std::string status;
  friend bool operator==(const Progress&, const Progress&) = default;
};

// "[########------------]  2/5 pages  14400 bps  Sending page 2", `width` cells of bar.
std::string ProgressBar(const Progress& progress, int width = 20);
// "page 2/5, 14400 bps, Sending page 2"
std::string ProgressLine(const Progress& progress);

}  // namespace qvfax::cli
