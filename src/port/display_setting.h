// Where the per-user fax manager display setting lives.
#pragma once

#include <string>

namespace qvfax {

inline constexpr const char* kCompanyName = "qvfax";
inline constexpr const char* kDisplaySettingValue = "VisualizzaFaxManager";

// "SOFTWARE\<company>\<product name>", the product name being string 1.
std::string DisplaySettingKey();

}  // namespace qvfax
