// How a call's outcome reads as a termination status of the fax control
// (enmQvBkgFaxVmTRMStatus): one table for T.30 completion codes.
#pragma once

#include <cstdint>

namespace qvfax::core {

// The termination status for a T.30 completion code of our calling terminal.
int32_t TermStatusFor(int completion);

}  // namespace qvfax::core
