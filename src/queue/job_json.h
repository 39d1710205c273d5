// Jobs and attempts as JSON: what the protocol answers and what the store
// keeps of a job's request.
#pragma once

#include <nlohmann/json.hpp>

#include "queue/job.h"

namespace qvfax::queue {

nlohmann::json ToJson(const JobRequest& request);
JobRequest RequestFromJson(const nlohmann::json& j);
nlohmann::json ToJson(const Job& job);
// Jobs as a JSON array, written straight to text: ten thousand of them in a
// few milliseconds, where building the objects first takes ten times that.
std::string JobsText(const std::vector<Job>& jobs);
nlohmann::json ToJson(const Attempt& attempt);
Attempt AttemptFromJson(const nlohmann::json& j);

}  // namespace qvfax::queue
