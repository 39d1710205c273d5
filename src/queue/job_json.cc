#include "queue/job_json.h"

namespace qvfax::queue {

using nlohmann::json;

const char* StateName(JobState state) {
  switch (state) {
    case JobState::kQueued: return "queued";
    case JobState::kRunning: return "running";
    case JobState::kDone: return "done";
    case JobState::kFailed: return "failed";
    case JobState::kCancelled: return "cancelled";
  }
  return "queued";
}

bool Finished(JobState state) { return state == JobState::kDone || state == JobState::kFailed || state == JobState::kCancelled; }

json ToJson(const JobSpec& s) {
  return {{"number", s.number},     {"files", s.files},
          {"resolution", s.resolution}, {"ecm", s.ecm},
          {"header", s.header},     {"local_id", s.local_id},
          {"not_before_ms", s.not_before_ms}, {"max_attempts", s.max_attempts},
          {"pages", s.pages},       {"owner_pid", s.owner_pid},
          {"owner_session", s.owner_session}};
}

JobSpec SpecFromJson(const json& j) {
  JobSpec s;
  s.number = j.value("number", "");
  s.files = j.value("files", std::vector<std::string>{});
  s.resolution = j.value("resolution", 3);
  s.ecm = j.value("ecm", true);
  s.header = j.value("header", "");
  s.local_id = j.value("local_id", "");
  s.not_before_ms = j.value("not_before_ms", int64_t{0});
  s.max_attempts = j.value("max_attempts", 3);
  s.pages = j.value("pages", 0);
  s.owner_pid = j.value("owner_pid", 0);
  s.owner_session = j.value("owner_session", 0);
  return s;
}

json ToJson(const Job& job) {
  json j{{"job", job.id},
         {"number", job.spec.number},
         {"state", StateName(job.state)},
         {"attempts", job.attempts},
         {"max_attempts", job.spec.max_attempts},
         {"pages", job.spec.pages},
         {"pages_sent", job.pages_sent},
         {"submitted_ms", job.submitted_ms},
         {"next_try_ms", job.next_try_ms},
         {"port", job.port},
         {"reason", job.reason}};
  if (Finished(job.state)) {
    j["outcome"] = OutcomeName(job.outcome);
    j["exit"] = static_cast<int>(job.outcome);
    j["ended_ms"] = job.ended_ms;
  }
  return j;
}

json ToJson(const Attempt& a) {
  return {{"job", a.job},
          {"attempt", a.number},
          {"port", a.port},
          {"started_ms", a.started_ms},
          {"ended_ms", a.ended_ms},
          {"trm_status", a.trm_status},
          {"status_text", a.status_text},
          {"error", a.error},
          {"error_text", a.error_text},
          {"pages_sent", a.pages_sent},
          {"remote_id", a.remote_id},
          {"outcome", OutcomeName(a.outcome)},
          {"exit", static_cast<int>(a.outcome)},
          {"log", a.log}};
}

Attempt AttemptFromJson(const json& j) {
  Attempt a;
  a.job = j.value("job", int64_t{0});
  a.number = j.value("attempt", 0);
  a.port = j.value("port", "");
  a.started_ms = j.value("started_ms", int64_t{0});
  a.ended_ms = j.value("ended_ms", int64_t{0});
  a.trm_status = j.value("trm_status", 0);
  a.status_text = j.value("status_text", "");
  a.error = j.value("error", 0);
  a.error_text = j.value("error_text", "");
  a.pages_sent = j.value("pages_sent", 0);
  a.remote_id = j.value("remote_id", "");
  a.outcome = static_cast<Exit>(j.value("exit", 0));
  a.log = j.value("log", "");
  return a;
}

}  // namespace qvfax::queue
