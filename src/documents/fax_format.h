// The shape of the fax pages documents are prepared into: the width every fax
// machine prints, and the rows of a page at each vertical resolution.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qvfax::documents {

enum class Resolution { kStandard, kFine, kSuperfine };
enum class Paper { kA4, kLetter, kLegal };

struct FaxFormat {
  Resolution resolution = Resolution::kFine;
  Paper paper = Paper::kA4;
};

inline constexpr uint32_t kFaxWidth = 1728;  // pixels at 204 dpi: 215 mm
inline constexpr float kFaxXDpi = 204.0f;

float YDpi(Resolution resolution);            // 98, 196 or 391
uint32_t PageRows(const FaxFormat& format);   // rows of a full page of the paper
double PaperHeightInches(Paper paper);

std::optional<Resolution> ParseResolution(const std::string& text);  // standard, fine, superfine
std::optional<Paper> ParsePaper(const std::string& text);            // a4, letter, legal
std::string Name(Resolution resolution);
std::string Name(Paper paper);

}  // namespace qvfax::documents
