// qvfax submit, jobs, rm, wait and history: the fax queue of qvfaxd.
#include <time.h>

#include <filesystem>
#include <iostream>
#include <random>

#include <fmt/format.h>

#include "cli/commands.h"
#include "cli/connection.h"
#include "rpc/jsonrpc.h"

namespace qvfax::cli {

namespace {

// The queue lives in the daemon: without one there is nothing to talk to.
std::unique_ptr<rpc::Client> Daemon(const Common& common) { return RequireDaemon(common, "the fax queue"); }

void PrintJobs(const Common& common, const rpc::json& jobs) {
  if (common.json) {
    std::cout << jobs.dump() << std::endl;
    return;
  }
  std::cout << fmt::format("{:>5}  {:<9} {:<20} {:>5} {:>8}  {:<19}  {}\n", "JOB", "STATE", "NUMBER", "PAGES",
                           "ATTEMPTS", "WHEN", "WHY");
  for (const auto& job : jobs) {
    const std::string state = job.value("state", "");
    const bool ended = job.contains("outcome");
    std::cout << fmt::format("{:>5}  {:<9} {:<20} {:>2}/{:<2} {:>4}/{:<3}  {:<19}  {}\n", job.value("job", 0), state,
                             job.value("number", ""), job.value("pages_sent", 0), job.value("pages", 0),
                             job.value("attempts", 0), job.value("max_attempts", 0),
                             LocalTime(ended ? job.value("ended_ms", int64_t{0}) : job.value("next_try_ms", int64_t{0})),
                             (job.value("direct", false) ? "sent at once, " : "") +
                                 (ended ? job.value("outcome", "") + ": " + job.value("reason", "") : job.value("reason", "")));
  }
}

}  // namespace

std::optional<int64_t> ParseWhen(const std::string& text, int64_t now_ms) {
  // now+N with m, h or d: so long from now.
  if (text.rfind("now+", 0) == 0 && text.size() > 5) {
    const std::string amount = text.substr(4, text.size() - 5);
    const char unit = text.back();
    const int64_t unit_ms = unit == 'm' ? 60'000 : unit == 'h' ? 3'600'000 : unit == 'd' ? 86'400'000 : 0;
    if (unit_ms == 0 || amount.empty() || amount.size() > 6 ||
        amount.find_first_not_of("0123456789") != std::string::npos) {
      return std::nullopt;
    }
    return now_ms + std::stoll(amount) * unit_ms;
  }
  const time_t now = static_cast<time_t>(now_ms / 1000);
  tm when{};
  localtime_r(&now, &when);
  const char* formats[] = {"%Y-%m-%d %H:%M:%S", "%Y-%m-%dT%H:%M:%S", "%Y-%m-%d %H:%M", "%Y-%m-%dT%H:%M", "%H:%M"};
  for (const char* format : formats) {
    tm parsed = when;
    parsed.tm_sec = 0;
    const char* end = strptime(text.c_str(), format, &parsed);
    if (!end || *end != '\0') continue;
    parsed.tm_isdst = -1;
    tm asked = parsed;
    const time_t seconds = mktime(&parsed);
    if (seconds == -1) return std::nullopt;
    // mktime carries 30 February into March: a date that does not exist is refused.
    if (parsed.tm_mday != asked.tm_mday || parsed.tm_mon != asked.tm_mon || parsed.tm_year != asked.tm_year ||
        parsed.tm_min != asked.tm_min) {
      return std::nullopt;
    }
    return static_cast<int64_t>(seconds) * 1000;
  }
  return std::nullopt;
}

namespace {

// A name for one submission that no other will have: the daemon answers a
// repeat of it (after a lost answer) with the job it already made.
std::string NewRequestId() {
  std::random_device random;
  return fmt::format("{:08x}{:08x}{:08x}{:08x}", random(), random(), random(), random());
}

int SubmitOne(const Common& common, const SendOptions& given, const QueueTimes& times) {
  try {
    rpc::json params{{"number", given.number}, {"resolution", given.resolution}, {"paper", given.paper},
                     {"ecm", given.ecm},       {"header", given.header},         {"local_id", given.local_id},
                     {"retries", times.retries}, {"request", NewRequestId()}};
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::system_clock::now().time_since_epoch()).count();
    for (const auto& [option, text, param] : {std::tuple{"--at", times.at, "at"},
                                              std::tuple{"--kill-time", times.kill_time, "kill_at"}}) {
      if (text.empty()) continue;
      const auto when = ParseWhen(text, now);
      if (!when) {
        return Report(common, Exit::kUsage, fmt::format("{}: give a time that exists, as HH:MM, YYYY-MM-DD HH:MM or now+N with m, h or d, not {}", option, text), 0, "");
      }
      params[param] = *when;
    }
    rpc::json files = rpc::json::array();
    for (const auto& file : given.files) {
      std::error_code ec;
      const auto absolute = std::filesystem::absolute(file, ec);
      files.push_back(ec ? file : absolute.lexically_normal().string());
    }
    params["files"] = files;
    if (auto cover = CoverParam(given); !cover.is_null()) params["cover"] = std::move(cover);
    auto client = Daemon(common);
    const auto queued = client->Call("submit", params);
    if (common.json) {
      std::cout << rpc::json{{"event", "queued"}, {"job", queued.at("job")}, {"pages", queued.at("pages")}}.dump() << std::endl;
    } else {
      std::cout << fmt::format("Job {} queued: {} page{} to {}", queued.at("job").get<int64_t>(),
                               queued.at("pages").get<int>(), queued.at("pages").get<int>() == 1 ? "" : "s",
                               given.number)
                << std::endl;
    }
    return 0;
  } catch (...) {
    return ReportError(common, std::current_exception());
  }
}

}  // namespace

int Submit(const Common& common, const SendOptions& options, const std::vector<std::string>& recipients,
           const QueueTimes& times) {
  int first_failure = 0;
  for (const auto& number : recipients) {
    SendOptions one = options;
    one.number = number;
    const int status = SubmitOne(common, one, times);
    if (status != 0 && first_failure == 0) first_failure = status;
  }
  return first_failure;
}

int Jobs(const Common& common) {
  try {
    PrintJobs(common, Daemon(common)->Call("jobs", rpc::json::object()));
    return 0;
  } catch (...) {
    return ReportError(common, std::current_exception());
  }
}

int History(const Common& common, int64_t job, int limit) {
  try {
    auto client = Daemon(common);
    if (job == 0) {
      PrintJobs(common, client->Call("history", {{"limit", limit}}));
      return 0;
    }
    const auto answer = client->Call("attempts", {{"job", job}});
    if (common.json) {
      std::cout << answer.dump() << std::endl;
      return 0;
    }
    PrintJobs(common, rpc::json::array({answer.at("job")}));
    for (const auto& a : answer.at("attempts")) {
      std::cout << fmt::format("  attempt {} on {} at {}: {} ({} pages) {}{}\n", a.value("attempt", 0),
                               a.value("port", ""), LocalTime(a.value("started_ms", int64_t{0})), a.value("outcome", ""),
                               a.value("pages_sent", 0), a.value("status_text", ""),
                               a.value("error_text", "").empty() ? "" : "; " + a.value("error_text", ""));
    }
    return 0;
  } catch (...) {
    return ReportError(common, std::current_exception());
  }
}

int Remove(const Common& common, int64_t job) {
  try {
    Daemon(common)->Call("remove", {{"job", job}});
    if (!common.json) std::cout << fmt::format("Job {} cancelled", job) << std::endl;
    return 0;
  } catch (...) {
    return ReportError(common, std::current_exception());
  }
}

int Wait(const Common& common, int64_t job) {
  try {
    auto client = Daemon(common);
    // A job may wait hours for its time and its retries; the daemon says it is
    // alive meanwhile, so --timeout bounds only its silence.
    const auto ended = client->Call("wait", {{"job", job}});
    const int exit = ended.value("exit", static_cast<int>(Exit::kLineFailure));
    if (common.json) {
      std::cout << ended.dump() << std::endl;
    } else {
      std::cout << fmt::format("Job {} {}: {} of {} pages to {} after {} attempt{}; {}", job, ended.value("outcome", ""),
                               ended.value("pages_sent", 0), ended.value("pages", 0), ended.value("number", ""),
                               ended.value("attempts", 0), ended.value("attempts", 0) == 1 ? "" : "s",
                               ended.value("reason", ""))
                << std::endl;
    }
    return exit;
  } catch (...) {
    return ReportError(common, std::current_exception());
  }
}

}  // namespace qvfax::cli
