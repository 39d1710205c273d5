// Grey pages to black and white with their content kept. The levels are
// first stretched to the page's own histogram (its darkest and lightest
// percent become black and white), so pale text on pale paper and a dark
// scan still have their contrast. A page that is mostly paper (text, forms,
// drawings) is then thresholded against its neighbourhood, so a faint
// stroke beside a dark one stays; any other page (a photo) is error-diffused,
// which keeps its mean tone and its mid-tones.
#pragma once

#include <cstdint>
#include <vector>

namespace qvfax::documents {

struct GreyImage {
  uint32_t columns = 0, rows = 0;
  std::vector<float> grey;  // row by row, 0 black to 1 white
};

// True for each pixel that is ink, row by row.
std::vector<bool> ToBlackAndWhite(GreyImage image);

}  // namespace qvfax::documents
