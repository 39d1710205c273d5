#include "values/ansi_text.h"

namespace qvfax {

std::string StringFromAnsiPointer(const char* address) {
  if (!address) return {};
  constexpr int kMaxBytes = 256;
  std::string text;
  for (int i = 0; i < kMaxBytes && address[i] != '\0'; ++i) {
    const auto byte = static_cast<unsigned char>(address[i]);
    if (byte < 0x80) {
      text.push_back(static_cast<char>(byte));
    } else {
      text.push_back(static_cast<char>(0xC0 | (byte >> 6)));
      text.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
    }
  }
  return text;
}

std::string TrimAtNul(std::string& text) {
  if (auto nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
  return text;
}

}  // namespace qvfax
