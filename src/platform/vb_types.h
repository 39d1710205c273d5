// The automation value types the object model speaks: Integer conversion with
// its overflow rule, Boolean text, and the variant stored in arrays.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "platform/ole_date.h"

namespace qvfax {

// Converts to a 16-bit Integer; a value outside -32768..32767 raises error 6.
int16_t ToInteger(int64_t value);

// A Boolean as the object model writes it: "-1" for True, "0" for False.
inline const char* BooleanText(bool value) { return value ? "-1" : "0"; }

using Variant = std::variant<std::monostate, int16_t, int32_t, double, bool, std::string, OleDate>;

// The application title every raised error and log carries.
inline constexpr const char* kApplicationTitle = "QvNrVavUvaRazUr";

}  // namespace qvfax
