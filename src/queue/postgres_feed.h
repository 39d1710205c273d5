// Job changes carried between hosts by PostgreSQL's LISTEN/NOTIFY: one
// connection of its own that listens, on a thread of its own.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "queue/job_store.h"

namespace qvfax::queue {

// The channel the hosts announce job changes on.
inline constexpr const char* kJobsChannel = "qvfax_jobs";

std::unique_ptr<SharedJobStore::Feed> FollowPostgres(const std::string& url,
                                                      std::function<void(const std::string&)> heard);

}  // namespace qvfax::queue
