// String helpers with the semantics of the automation runtime's own.
#pragma once

#include <string>
#include <vector>

namespace qvfax {

// Splits at every `separator`, exactly, without limit: "a++b" gives "a", "", "b"
// and "" gives one empty part.
std::vector<std::string> Split(const std::string& text, char separator);

}  // namespace qvfax
