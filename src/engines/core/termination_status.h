// How a call's outcome reads as a termination status of the fax control
// (enmQvBkgFaxVmTRMStatus): one table for T.30 completion codes.
#pragma once

#include <cstdint>

namespace qvfax::core {

// The termination status for a T.30 completion code of our calling terminal.
int32_t TermStatusFor(int completion);

}  // namespace qvfax::core

namespace qvfax::core {

// What ended a call before or outside T.30: the line or the modem.
enum class LineResult {
  kBusy,
  kNoAnswer,
  kNoCarrier,         // answered, but no fax tones
  kNoDialtone,
  kModemError,        // the modem refused a command
  kModemSilent,       // the modem stopped answering, or the port went away
  kCancelled,
  kClassUnsupported,  // the modem has no class this engine can drive
  kNoDocument,
};

int32_t TermStatusFor(LineResult result);

}  // namespace qvfax::core
