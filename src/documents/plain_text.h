// Plain text as a page of a typewriter: monospaced, with margins, long lines
// wrapped, tabs every 8 columns and form feeds as page breaks. The text is
// read as UTF-8 when it is valid UTF-8, as Latin-1 otherwise; what Latin-1
// cannot show is printed as "?". It becomes PostScript, for Ghostscript to
// render as it renders any other.
#pragma once

#include <cstddef>
#include <string>

#include "documents/fax_format.h"

namespace qvfax::documents {

// Whether the first bytes of a file read as text: no NUL, next to no control
// characters other than tab, line feed, carriage return and form feed.
bool LooksLikeText(const char* head, size_t size);

// `text` (UTF-8, or Latin-1 when it is not valid UTF-8) as a PostScript
// string of Latin-1, in its parentheses; "?" for what Latin-1 lacks, a space
// for a line end.
std::string PostScriptString(const std::string& text);

// The text set on pages the width of a fax and the length of `paper`.
std::string TextAsPostScript(const std::string& text, Paper paper);

}  // namespace qvfax::documents
