// What qvfax's exit status says, in the manner of efax's, so scripts can act
// on the outcome of a fax without reading its messages.
#pragma once

#include <cstdint>

namespace qvfax::cli {

enum class Exit : int {
  kDelivered = 0,          // every page sent, normal termination
  kBusy = 1,               // the number was busy
  kUsage = 2,              // the command line was wrong
  kNoAnswer = 3,           // nobody answered, or no fax machine did
  kBadDocument = 4,        // a file that cannot be sent
  kLineFailure = 5,        // the call failed on the line or in the fax protocol
  kCancelled = 6,          // the fax was cancelled
  kDaemonUnreachable = 7,  // qvfaxd could not be reached, or went away
  kModemFailure = 8,       // no modem, or its port would not open
};

// The exit status for an error code of the control (negative), or 0.
Exit ExitForError(int32_t error);
// The exit status for a fax that ended with termination status `status`.
Exit ExitForStatus(int32_t status);

}  // namespace qvfax::cli
