// What a server object says of the send it has just ended, read the same way
// for a queued job's attempt and for a fax a client sent at once.
#pragma once

#include <cstdint>

#include "queue/job.h"

namespace qvfax {
class QvVavUvaRazUr;
}

namespace qvfax::queue {

// Fills the attempt's status, error, their texts, the pages sent and the remote id.
void ReadSendOutcome(QvVavUvaRazUr& server, Attempt& attempt);

// The outcome of an attempt of `pages` pages: cancelled when it was, else by
// the error and the status; delivered only with every page sent.
Exit ConcludeOutcome(const Attempt& attempt, int32_t pages, bool cancelled);

}  // namespace qvfax::queue
