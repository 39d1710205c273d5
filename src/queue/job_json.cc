#include "queue/job_json.h"

#include <fmt/format.h>

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

json ToJson(const JobRequest& s) {
  return {{"number", s.number},     {"files", s.files},
          {"resolution", s.resolution}, {"ecm", s.ecm},
          {"header", s.header},     {"local_id", s.local_id},
          {"not_before_ms", s.not_before_ms}, {"kill_ms", s.kill_ms}, {"max_attempts", s.max_attempts},
          {"pages", s.pages},       {"owner_pid", s.owner_pid},
          {"owner_session", s.owner_session}, {"client_request", s.client_request}, {"direct", s.direct}};
}

JobRequest RequestFromJson(const json& j) {
  JobRequest s;
  s.number = j.value("number", "");
  s.files = j.value("files", std::vector<std::string>{});
  s.resolution = j.value("resolution", 3);
  s.ecm = j.value("ecm", true);
  s.header = j.value("header", "");
  s.local_id = j.value("local_id", "");
  s.not_before_ms = j.value("not_before_ms", int64_t{0});
  s.kill_ms = j.value("kill_ms", int64_t{0});
  s.max_attempts = j.value("max_attempts", 3);
  s.pages = j.value("pages", 0);
  s.owner_pid = j.value("owner_pid", 0);
  s.owner_session = j.value("owner_session", 0);
  s.client_request = j.value("client_request", "");
  s.direct = j.value("direct", false);
  return s;
}

namespace {

void AppendJob(std::string& out, const Job& job) {
  out += fmt::format(
      "{{\"attempts\":{},\"job\":{},\"max_attempts\":{},\"next_try_ms\":{},\"number\":{},\"pages\":{},"
      "\"pages_sent\":{},\"port\":{},\"reason\":{},\"state\":\"{}\",\"submitted_ms\":{}",
      job.attempts, job.id, job.request.max_attempts, job.next_try_ms, json(job.request.number).dump(), job.request.pages,
      job.pages_sent, json(job.port).dump(), json(job.reason).dump(-1, ' ', false, json::error_handler_t::replace),
      StateName(job.state), job.submitted_ms);
  if (Finished(job.state)) {
    out += fmt::format(",\"ended_ms\":{},\"exit\":{},\"outcome\":\"{}\"", job.ended_ms,
                       static_cast<int>(job.outcome), OutcomeName(job.outcome));
  }
  if (job.request.direct) out += ",\"direct\":true";
  out += '}';
}

}  // namespace

std::string JobsText(const std::vector<Job>& jobs) {
  std::string out = "[";
  out.reserve(jobs.size() * 220 + 2);
  for (size_t i = 0; i < jobs.size(); ++i) {
    if (i) out += ',';
    AppendJob(out, jobs[i]);
  }
  return out + "]";
}

json ToJson(const Job& job) {
  std::string text;
  AppendJob(text, job);
  return json::parse(text);
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
