// Jobs and attempts as JSON: what the protocol answers and what the store
// keeps of a job's request.
#pragma once

#include <nlohmann/json.hpp>

#include "queue/job.h"

namespace qvfax::queue {

nlohmann::json ToJson(const JobSpec& spec);
JobSpec SpecFromJson(const nlohmann::json& j);
nlohmann::json ToJson(const Job& job);
nlohmann::json ToJson(const Attempt& attempt);
Attempt AttemptFromJson(const nlohmann::json& j);

}  // namespace qvfax::queue
