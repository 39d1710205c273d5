#include "rpc/surface_document.h"

#include <regex>
#include <sstream>

#include <fmt/format.h>

#include "rpc/surface.h"

namespace qvfax::rpc {

namespace {

std::string ClassesMarkdown() {
  std::string text = "### Classes and members\n\n";
  for (const auto& c : DescribeSurface()) {
    text += fmt::format("#### `{}`{}\n\n", c.name, c.creatable ? " (creatable)" : "");
    text += "| member | access | type | arguments |\n|---|---|---|---|\n";
    for (const auto& m : c.members) {
      text += fmt::format("| `{}` | {} | {} | {} |\n", m.name, m.access, m.type,
                          m.access == "call" ? m.params : "");
    }
    text += "\n";
  }
  return text;
}

std::string EnumerationsMarkdown(const std::string& enums_header) {
  static const std::regex kEnum(R"(^enum (\w+) : int32_t \{)");
  static const std::regex kConstant(R"(^\s+(\w+) = (-?\w+),?)");
  std::string text = "### Enumerations\n";
  std::istringstream lines(enums_header);
  std::string line;
  std::smatch match;
  while (std::getline(lines, line)) {
    if (std::regex_search(line, match, kEnum)) {
      text += fmt::format("\n#### `{}`\n\n| constant | value |\n|---|---|\n", match[1].str());
    } else if (std::regex_search(line, match, kConstant)) {
      text += fmt::format("| `{}` | {} |\n", match[1].str(), match[2].str());
    }
  }
  return text;
}

}  // namespace

std::string ReferenceMarkdown(const std::string& enums_header) {
  return ClassesMarkdown() + EnumerationsMarkdown(enums_header);
}

std::string ReferenceOf(const std::string& document) {
  const auto begin = document.find(kGeneratedBegin);
  const auto end = document.find(kGeneratedEnd);
  if (begin == std::string::npos || end == std::string::npos || end < begin) return "";
  const auto start = begin + std::string(kGeneratedBegin).size() + 1;
  return start <= end ? document.substr(start, end - start) : "";
}

std::string WithReference(const std::string& document, const std::string& reference) {
  const auto begin = document.find(kGeneratedBegin);
  const auto end = document.find(kGeneratedEnd);
  if (begin == std::string::npos || end == std::string::npos || end < begin) return document;
  return document.substr(0, begin) + kGeneratedBegin + "\n" + reference + document.substr(end);
}

}  // namespace qvfax::rpc
