// The protocol document's reference part, written from what the daemon
// really publishes, so the document cannot drift from the surface.
#pragma once

#include <string>

namespace qvfax::rpc {

inline constexpr const char* kGeneratedBegin = "<!-- generated reference: begin -->";
inline constexpr const char* kGeneratedEnd = "<!-- generated reference: end -->";

// Every published class with every member, then every enumeration of
// `enums_header` (the text of values/enums.h) with its constants.
std::string ReferenceMarkdown(const std::string& enums_header);

// `document` with its generated part replaced by `reference`; the document
// unchanged when it has no such part.
std::string WithReference(const std::string& document, const std::string& reference);
// The generated part of `document`, or "" when it has none.
std::string ReferenceOf(const std::string& document);

}  // namespace qvfax::rpc
