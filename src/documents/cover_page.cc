#include "documents/cover_page.h"

#include <fmt/format.h>

#include "documents/plain_text.h"

namespace qvfax::documents {

std::string CoverAsPostScript(const std::string& template_text, const CoverPage& cover, int pages,
                              const std::string& date, Paper paper) {
  const std::pair<const char*, std::string> fields[] = {
      {"@TO@", PostScriptString(cover.to)},           {"@FROM@", PostScriptString(cover.from)},
      {"@SUBJECT@", PostScriptString(cover.subject)}, {"@COMMENT@", PostScriptString(cover.comment)},
      {"@PAGES@", PostScriptString(std::to_string(pages))}, {"@DATE@", PostScriptString(date)},
      {"@HEIGHT@", fmt::format("{:.2f}", PaperHeightInches(paper) * 72.0)},
  };
  std::string out = template_text;
  for (const auto& [name, value] : fields) {
    const std::string key = name;
    for (size_t at = out.find(key); at != std::string::npos; at = out.find(key, at + value.size())) {
      out.replace(at, key.size(), value);
    }
  }
  return out;
}

}  // namespace qvfax::documents
