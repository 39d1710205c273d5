#include "engines/modem/caller_id.h"

#include <algorithm>
#include <cctype>

namespace qvfax::modem {

namespace {

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
  return text;
}

}  // namespace

bool ReadCallerIdLine(const std::string& line, CallerId& id) {
  const auto equals = line.find('=');
  if (equals == std::string::npos) return false;
  const std::string tag = Upper(Trimmed(line.substr(0, equals)));
  const std::string value = Trimmed(line.substr(equals + 1));
  if (tag == "DATE") {
    id.date = value;
  } else if (tag == "TIME") {
    id.time = value;
  } else if (tag == "NMBR" || tag == "CALLER NUMBER") {
    if (value == "P") {
      id.withheld = "private";
    } else if (value == "O") {
      id.withheld = "out of area";
    } else {
      id.number = value;
    }
  } else if (tag == "NAME" || tag == "CALLER NAME") {
    id.name = value == "P" || value == "O" ? "" : value;
  } else {
    return false;
  }
  return true;
}

}  // namespace qvfax::modem
