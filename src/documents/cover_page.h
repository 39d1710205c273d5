// A cover page before a fax's documents, from a PostScript template whose
// fields (@TO@, @FROM@, @SUBJECT@, @COMMENT@, @PAGES@, @DATE@, @HEIGHT@)
// are filled in. The default template is built in; a user's replaces it.
#pragma once

#include <string>

#include "documents/fax_format.h"

namespace qvfax::documents {

struct CoverPage {
  std::string to, from, subject, comment;
  std::string template_file;  // "" for the built-in template
};

// The built-in template.
const std::string& DefaultCoverTemplate();

// The template with its fields filled in; `pages` counts the whole fax.
std::string CoverAsPostScript(const std::string& template_text, const CoverPage& cover, int pages,
                              const std::string& date, Paper paper);

}  // namespace qvfax::documents
