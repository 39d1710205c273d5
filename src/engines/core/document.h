// The document a T.30 call sends: every page attached to the fax object, with
// our page header drawn on top when the header is enabled, as one TIFF file.
#pragma once

#include <cstdint>
#include <string>

#include "engines/core/bank_state.h"

namespace qvfax::core {

// Writes the document of `fax` to `path`. Returns 0, or the control's error
// code for a page that cannot be read or a file that cannot be written.
// A fax of no pages writes nothing and returns 0.
int32_t AssembleDocument(const Bank::State& state, const FaxObject& fax, const std::string& path);

}  // namespace qvfax::core
