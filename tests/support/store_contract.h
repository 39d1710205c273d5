// What every job store keeps, whichever database holds it: checked against
// the SQLite file and against PostgreSQL alike.
#pragma once

#include <functional>
#include <memory>

#include "queue/job_store.h"

namespace qvfax::testing {

queue::Job QueuedJob(const std::string& number);

// Jobs, attempts and received faxes written through one store opened by
// `open` are read back whole through another it opens afterwards.
void ExpectJobsOutliveTheStore(const std::function<std::unique_ptr<queue::JobStore>()>& open);

}  // namespace qvfax::testing
