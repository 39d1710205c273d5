// What a port's capabilities (as the client set them) let a call's T.30
// offer: the modulations up to the port's top speed, ECM when enabled, and
// the codings up to the port's compression limit.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "engines/core/t30_terminal.h"

namespace qvfax::core {

// `modulations`: what the hardware (or the line) itself can do.
T30Terminal TerminalForPort(const std::map<int16_t, int16_t>& capabilities, const std::string& ident,
                            int modulations);

}  // namespace qvfax::core
