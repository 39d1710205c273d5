// How a fax ended, in the terms qvfax's exit status uses (in the manner of
// efax's, so scripts can act on it without reading messages), and whether a
// fax that ended so is tried again, and when.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace qvfax::queue {

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
  kLocalFailure = 9,       // this host failed the fax: no space left, no permission
};

// Whether a system error (an errno) is this host's fault rather than the
// document's or the line's: no space, no permission, a read-only or failing disk.
bool IsLocalFailure(int errnum);
// The words for such an error, for the one line the user reads.
std::string LocalFailureText(int errnum);
// Whether an automation error number (61 disk full, 70 permission denied,
// 75 path/file access error ...) is such a failure of this host.
bool IsLocalAutomationError(int32_t number);

// The exit status for an error code of the control (negative), or 0.
Exit ExitForError(int32_t error);
// The exit status for a fax that ended with termination status `status`.
Exit ExitForStatus(int32_t status);
// The outcome of an attempt: the error, when there was one, else the status.
Exit OutcomeOf(int32_t error, int32_t status);

// The delay before a fax that ended with `outcome` is tried again, or nothing
// when that outcome is final.
std::optional<std::chrono::seconds> RetryDelay(Exit outcome);

// A word for the outcome: "delivered", "busy", "no-answer", ...
std::string OutcomeName(Exit outcome);

}  // namespace qvfax::queue
