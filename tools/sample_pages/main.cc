// Writes sample fax pages, for benchmarks and for trying qvfax by hand:
//   qvfax-sample-pages FILE PAGES [fine|standard] [letter|text|bars]
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "engines/pages/sample_tiff.h"

int main(int argc, char** argv) {
  using qvfax::pages::PageResolution;
  using qvfax::pages::PageStyle;
  if (argc < 3 || std::atoi(argv[2]) < 1) {
    std::fprintf(stderr, "usage: %s FILE PAGES [fine|standard] [letter|text|bars]\n", argv[0]);
    return 2;
  }
  const std::string resolution = argc > 3 ? argv[3] : "fine";
  const std::string style = argc > 4 ? argv[4] : "letter";
  if ((resolution != "fine" && resolution != "standard") || (style != "letter" && style != "text" && style != "bars")) {
    std::fprintf(stderr, "%s: unknown resolution or style\n", argv[0]);
    return 2;
  }
  try {
    qvfax::pages::MakeFaxTiff(argv[1], std::atoi(argv[2]),
                              resolution == "fine" ? PageResolution::kFine : PageResolution::kStandard,
                              style == "letter" ? PageStyle::kLetter
                              : style == "text" ? PageStyle::kText
                                                : PageStyle::kBars);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
    return 1;
  }
  return 0;
}
