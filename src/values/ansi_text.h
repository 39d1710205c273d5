// Conversions of the texts the fax manager hands back as addresses of
// NUL-terminated ANSI strings.
#pragma once

#include <string>

namespace qvfax {

// Null gives "". Otherwise at most 256 bytes, stopping at the first NUL,
// converted from the ANSI code page (Windows-1252) to UTF-8.
std::string StringFromAnsiPointer(const char* address);

// Cuts `text` just before its first NUL, in place, and returns it.
std::string TrimAtNul(std::string& text);

}  // namespace qvfax
