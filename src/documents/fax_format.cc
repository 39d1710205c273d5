#include "documents/fax_format.h"

#include <cmath>

namespace qvfax::documents {

float YDpi(Resolution resolution) {
  switch (resolution) {
    case Resolution::kStandard: return 98.0f;
    case Resolution::kFine: return 196.0f;
    case Resolution::kSuperfine: return 391.0f;
  }
  return 196.0f;
}

double PaperHeightInches(Paper paper) {
  switch (paper) {
    case Paper::kA4: return 297.0 / 25.4;
    case Paper::kLetter: return 11.0;
    case Paper::kLegal: return 14.0;
  }
  return 297.0 / 25.4;
}

uint32_t PageRows(const FaxFormat& format) {
  return static_cast<uint32_t>(std::lround(PaperHeightInches(format.paper) * YDpi(format.resolution)));
}

std::optional<Resolution> ParseResolution(const std::string& text) {
  if (text == "standard") return Resolution::kStandard;
  if (text == "fine") return Resolution::kFine;
  if (text == "superfine") return Resolution::kSuperfine;
  return std::nullopt;
}

std::optional<Paper> ParsePaper(const std::string& text) {
  if (text == "a4") return Paper::kA4;
  if (text == "letter") return Paper::kLetter;
  if (text == "legal") return Paper::kLegal;
  return std::nullopt;
}

std::string Name(Resolution resolution) {
  switch (resolution) {
    case Resolution::kStandard: return "standard";
    case Resolution::kFine: return "fine";
    case Resolution::kSuperfine: return "superfine";
  }
  return "fine";
}

std::string Name(Paper paper) {
  switch (paper) {
    case Paper::kA4: return "a4";
    case Paper::kLetter: return "letter";
    case Paper::kLegal: return "legal";
  }
  return "a4";
}

}  // namespace qvfax::documents
