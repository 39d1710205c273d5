#include "queue/job_queue.h"

#include <algorithm>
#include <filesystem>
#include <iostream>

#include <fmt/format.h>

#include "engines/pages/tiff_pages.h"
#include "platform/apartment.h"
#include "queue/job_json.h"
#include "queue/port_runner.h"

namespace qvfax::queue {

struct JobQueue::Slot {
  std::unique_ptr<Home> home;
  std::shared_ptr<PortRunner> runner;
  int64_t job = 0;  // the job it is sending, or 0
  Lease lease;       // shared store: our hold on that job
  bool lost = false;  // shared store: another host took the job up; its result is not ours to write
};

// What a change leaves to tell, told once the lock is let go.
struct JobQueue::Events {
  std::vector<nlohmann::json> changes;
  std::vector<Job> ended;
  std::vector<std::pair<std::function<void(const Job&)>, Job>> waiters;
};

namespace {

constexpr size_t kMaxNumberLength = 100;

void CheckNumber(const std::string& number) {
  if (number.find_first_not_of(" ") == std::string::npos) throw Refused("the fax number is empty");
  if (number.size() > kMaxNumberLength) throw Refused("the fax number is too long");
  // Digits and what a dial string may hold: pauses, waits, tone and pulse.
  if (number.find_first_not_of("0123456789+*#,-() .wWpPtT!@") != std::string::npos) {
    throw Refused("the fax number holds characters that cannot be dialled: " + number);
  }
}

nlohmann::json Change(const char* event, const Job& job) {
  auto j = ToJson(job);
  j["event"] = event;
  return j;
}

// The prepared documents of a job that has ended are of no more use.
void RemoveDocuments(const JobRequest& request) {
  std::error_code ec;
  for (const auto& file : request.files) {
    std::filesystem::remove(file, ec);
    std::filesystem::remove(std::filesystem::path(file).parent_path(), ec);  // only once empty
  }
}

}  // namespace

JobQueue::JobQueue(std::shared_ptr<JobStore> store, QueueOptions options)
    : store_(std::move(store)), options_(std::move(options)) {
  shared_ = dynamic_cast<SharedJobStore*>(store_.get());
  home_ = options_.make_home("queue");
  for (const auto& port : options_.ports) {
    auto slot = std::make_unique<Slot>();
    slot->home = options_.make_home(port);
    Slot* raw = slot.get();
    slot->runner = std::make_shared<PortRunner>(port, options_.now_ms,
                                                [this, raw](const Attempt& attempt) { AttemptEnded(*raw, attempt); });
    slots_.push_back(std::move(slot));
  }
  Recover();
  Wake();
  if (shared_) {
    feed_ = shared_->Follow([this](const std::string& text) { Heard(text); });
    home_->Post([this] { Poll(); });
  }
}

JobQueue::~JobQueue() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  feed_.reset();
  for (auto& slot : slots_) {
    // A runner and its server object go on their own apartment.
    slot->home->Post([runner = std::move(slot->runner)]() mutable { runner.reset(); });
    slot->home.reset();
  }
  home_.reset();
}

// An attempt whose end nobody saw: it counts, and it did not deliver the
// fax as far as anyone can tell.
Attempt JobQueue::Interrupted(const Job& job, const std::string& why) const {
  Attempt interrupted;
  interrupted.job = job.id;
  interrupted.number = job.attempts;
  interrupted.port = job.port;
  interrupted.ended_ms = options_.now_ms();
  interrupted.outcome = Exit::kLineFailure;
  interrupted.error_text = why;
  return interrupted;
}

void JobQueue::Recover() {
  // A shared store's jobs are taken up by claims: those of a host that
  // stopped once its lease has run out.
  if (shared_) return;
  Events events;
  std::unique_lock lock(mutex_);
  for (auto& job : store_->Unfinished()) {
    if (job.state == JobState::kRunning) {
      const Attempt interrupted = Interrupted(job, "qvfaxd stopped during this attempt");
      Settle(job, interrupted, events);
      if (job.state == JobState::kQueued) job.next_try_ms = options_.now_ms();
      store_->Record(job, interrupted);
      if (Finished(job.state)) {
        End(job, events);
        continue;
      }
    }
    waiting_.emplace(job.next_try_ms, job.id);
    jobs_.emplace(job.id, std::move(job));
  }
  lock.unlock();
  Emit(events);  // a job that ended here is told of, and its notify command run
}

int64_t JobQueue::Submit(JobRequest request) {
  CheckNumber(request.number);
  if (request.files.empty()) throw Refused("no document to send");
  // A document the port could not send fails now, with no attempt made.
  for (const auto& file : request.files) {
    if (pages::CountPages(file) <= 0) throw Refused(file + ": not a fax document that can be sent");
  }
  if (request.max_attempts < 1 || request.max_attempts > 100) throw Refused("the attempts must be from 1 to 100");
  const int64_t now = options_.now_ms();
  if (request.not_before_ms != 0 && request.not_before_ms < now) throw Refused("the time to send has passed");
  if (request.kill_ms != 0 && request.kill_ms <= std::max(now, request.not_before_ms)) {
    throw Refused("the kill time comes before the time to send");
  }
  Job job;
  job.request = std::move(request);
  job.submitted_ms = now;
  job.next_try_ms = std::max(now, job.request.not_before_ms);
  nlohmann::json change;
  {
    std::lock_guard lock(mutex_);
    if (!job.request.client_request.empty()) {
      if (auto earlier = store_->FindRequest(job.request.client_request)) return earlier->id;
    }
    job.id = store_->Add(job);
    waiting_.emplace(job.next_try_ms, job.id);
    change = Change("queued", job);
    jobs_.emplace(job.id, job);
  }
  Events events;
  events.changes.push_back(std::move(change));
  Emit(events);
  Wake();
  return job.id;
}

void JobQueue::RecordDirect(const Attempt& attempt, const JobRequest& request) {
  Job job;
  job.request = request;
  job.request.direct = true;
  job.request.max_attempts = 1;
  job.submitted_ms = attempt.started_ms;
  job.attempts = 1;
  job.outcome = attempt.outcome;
  job.state = attempt.outcome == Exit::kDelivered ? JobState::kDone
              : attempt.outcome == Exit::kCancelled ? JobState::kCancelled
                                                    : JobState::kFailed;
  job.ended_ms = attempt.ended_ms;
  job.pages_sent = attempt.pages_sent;
  job.port = attempt.port;
  job.reason = attempt.error != 0 ? attempt.error_text : attempt.status_text;
  std::lock_guard lock(mutex_);
  try {
    job.id = store_->Add(job);
    Attempt recorded = attempt;
    recorded.job = job.id;
    recorded.number = 1;
    store_->Record(job, recorded);
  } catch (const StoreError& e) {
    std::cerr << "qvfaxd: a direct fax to " << request.number << " was not kept in the history: " << e.what() << "\n";
  }
}

std::optional<Job> JobQueue::Submitted(const std::string& client_request) const {
  if (client_request.empty()) return std::nullopt;
  std::lock_guard lock(mutex_);
  auto job = store_->FindRequest(client_request);
  if (job) {
    if (auto live = jobs_.find(job->id); live != jobs_.end()) return live->second;
  }
  return job;
}

std::vector<Job> JobQueue::Jobs(int64_t after_id, int limit) const {
  std::lock_guard lock(mutex_);
  if (shared_) return store_->Unfinished(after_id, limit);  // every host's
  std::vector<Job> jobs;
  jobs.reserve(limit < 0 ? jobs_.size() : std::min(jobs_.size(), static_cast<size_t>(limit)));
  for (auto it = jobs_.upper_bound(after_id); it != jobs_.end() && (limit < 0 || jobs.size() < static_cast<size_t>(limit));
       ++it) {
    jobs.push_back(it->second);
  }
  return jobs;
}

std::vector<Job> JobQueue::History(int limit) const {
  std::lock_guard lock(mutex_);
  return store_->History(limit);
}

std::optional<Job> JobQueue::Find(int64_t id) const {
  std::lock_guard lock(mutex_);
  if (auto it = jobs_.find(id); it != jobs_.end()) return it->second;
  return store_->Find(id);
}

std::vector<Attempt> JobQueue::Attempts(int64_t id) const {
  std::lock_guard lock(mutex_);
  return store_->Attempts(id);
}

namespace {

void MarkRemovedBeforeSent(Job& job, int64_t now_ms) {
  job.state = JobState::kCancelled;
  job.outcome = Exit::kCancelled;
  job.reason = "removed before it was sent";
  job.ended_ms = now_ms;
}

}  // namespace

void JobQueue::Remove(int64_t id) {
  Events events;
  {
    std::lock_guard lock(mutex_);
    auto it = jobs_.find(id);
    if (it == jobs_.end() && shared_) {
      RemoveFromStore(id, events);
    } else if (it == jobs_.end()) {
      throw Refused(store_->Find(id) ? fmt::format("job {} has ended", id) : fmt::format("no job {}", id));
    } else if (Job& job = it->second; job.state == JobState::kRunning) {
      for (auto& slot : slots_) {
        if (slot->job != id) continue;
        slot->home->Post([runner = slot->runner] { runner->Cancel(); });
      }
      job.reason = "being cancelled";
      job.removing = true;
    } else {
      waiting_.erase({job.next_try_ms, id});
      MarkRemovedBeforeSent(job, options_.now_ms());
      store_->Save(job);
      End(job, events);
    }
  }
  Emit(events);
}

void JobQueue::RemoveFromStore(int64_t id, Events& events) {
  // Queued, or running on another host.
  auto stored = store_->Find(id);
  if (!stored) throw Refused(fmt::format("no job {}", id));
  Job job = *stored;
  if (job.state == JobState::kQueued) {
    MarkRemovedBeforeSent(job, options_.now_ms());
    if (shared_->SaveIfQueued(job)) return End(job, events);
  }
  // Its host cancels it when it next renews its lease.
  if (!shared_->AskRemoval(id)) throw Refused(fmt::format("job {} has ended", id));
}

void JobQueue::WhenEnded(int64_t id, std::function<void(const Job&)> ended) {
  std::optional<Job> done;
  {
    std::lock_guard lock(mutex_);
    if (jobs_.count(id)) {
      waiters_.emplace(id, std::move(ended));
      return;
    }
    done = store_->Find(id);
    // Under way on another host: the poll hears when it ends.
    if (done && shared_ && !Finished(done->state)) {
      waiters_.emplace(id, std::move(ended));
      return;
    }
  }
  if (!done) throw Refused(fmt::format("no job {}", id));
  ended(*done);
}

void JobQueue::Wake() {
  home_->Post([this] { Dispatch(); });
}

void JobQueue::Dispatch() {
  Events events;
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    const int64_t now = options_.now_ms();
    for (auto& slot : slots_) {
      if (slot->job != 0) continue;
      Job* job = shared_ ? Claim(*slot, now, events) : NextDue(now, events);
      if (!job) break;  // nothing due for this port is nothing due for the next
      Begin(*slot, *job, events);
    }
    // Sleep until the next job falls due; a free port or a new job wakes us
    // sooner. A shared queue's poll looks for what other hosts queued.
    auto& clock = *RequireApartment().clock;
    if (wake_timer_ != 0) clock.Cancel(wake_timer_);
    wake_timer_ = 0;
    // A job already due waits for a port: the port's end of attempt wakes us.
    if (!shared_ && !waiting_.empty() && waiting_.begin()->first > now) {
      const auto delay = std::chrono::milliseconds(waiting_.begin()->first - now);
      wake_timer_ = clock.Schedule(delay, [this] {
        wake_timer_ = 0;
        Dispatch();
      });
    }
  }
  Emit(events);
}

// Jobs that waited for a port past their kill time end here: no try starts for them.
Job* JobQueue::NextDue(int64_t now, Events& events) {
  while (!waiting_.empty() && waiting_.begin()->first <= now) {
    Job& due = jobs_.at(waiting_.begin()->second);
    waiting_.erase(waiting_.begin());
    if (due.request.kill_ms == 0 || now <= due.request.kill_ms) return &due;
    KillUnstarted(nullptr, due, now, events);
  }
  return nullptr;
}

Job* JobQueue::Claim(Slot& slot, int64_t now, Events& events) {
  // Bounded: each pass ends a job or puts one back to be tried.
  for (int pass = 0; pass < 100; ++pass) {
    std::optional<Claimed> claimed;
    try {
      claimed = shared_->Claim(options_.host, now, options_.lease_ms);
    } catch (const StoreError& e) {
      StoreTrouble(e);
      return nullptr;
    }
    if (!claimed) return nullptr;
    slot.lease = claimed->lease;
    Job job = std::move(claimed->job);
    try {
      if (!claimed->lapsed_host.empty()) {
        const Attempt lapsed = Interrupted(job, fmt::format("host {} stopped during this attempt", claimed->lapsed_host));
        Settle(job, lapsed, events);
        if (job.state == JobState::kQueued) job.next_try_ms = now;
        Keep(&slot, job, &lapsed);
        if (Finished(job.state)) End(job, events);
        continue;
      }
      if (job.request.kill_ms != 0 && now > job.request.kill_ms) {
        KillUnstarted(&slot, job, now, events);
        continue;
      }
    } catch (const StoreError& e) {
      StoreTrouble(e);
      continue;
    }
    return &jobs_.insert_or_assign(job.id, std::move(job)).first->second;
  }
  return nullptr;
}

void JobQueue::KillUnstarted(Slot* slot, Job& job, int64_t now, Events& events) {
  job.state = JobState::kFailed;
  job.ended_ms = now;
  if (job.attempts == 0) job.outcome = Exit::kLineFailure;
  job.reason = fmt::format("{}; its kill time passed before a port was free", OutcomeName(job.outcome));
  Keep(slot, job, nullptr);
  End(job, events);
}

void JobQueue::Begin(Slot& slot, Job& job, Events& events) {
  job.state = JobState::kRunning;
  job.attempts += 1;
  job.port = slot.runner->port();
  job.reason.clear();
  try {
    Keep(&slot, job, nullptr);
  } catch (const StoreError& e) {
    // Not started: the job stays as the store has it, for a later try.
    StoreTrouble(e);
    job.state = JobState::kQueued;
    job.attempts -= 1;
    if (shared_) {
      const int64_t id = job.id;
      jobs_.erase(id);
    } else {
      waiting_.emplace(job.next_try_ms, job.id);
    }
    return;
  }
  slot.job = job.id;
  slot.lost = false;
  events.changes.push_back(Change("started", job));
  auto start = [home = slot.home.get(), runner = slot.runner, id = job.id, n = job.attempts, request = job.request] {
    home->Post([runner, id, n, request] { runner->Start(id, n, request); });
  };
  if (options_.take_port) {
    options_.take_port(job.port, std::move(start));
  } else {
    start();
  }
}

void JobQueue::Keep(const Slot* slot, const Job& job, const Attempt* attempt) {
  if (shared_ && slot) {
    if (attempt) {
      shared_->Record(job, *attempt, slot->lease);
    } else {
      shared_->Save(job, slot->lease);
    }
  } else if (attempt) {
    store_->Record(job, *attempt);
  } else {
    store_->Save(job);
  }
}

void JobQueue::StoreTrouble(const StoreError& e) {
  if (dynamic_cast<const LeaseLost*>(&e)) {
    std::cerr << "qvfaxd: " << e.what() << "\n";
    return;
  }
  // Said once while the store stays away, not at every poll.
  if (store_away_) return;
  store_away_ = true;
  std::cerr << "qvfaxd: the job store cannot be used (" << e.what() << "); calls under way go on, and no job is"
            << " taken up until it is back\n";
}

void JobQueue::Heard(const std::string& text) {
  const auto change = nlohmann::json::parse(text, nullptr, false);
  if (!change.is_object() || change.value("host", "") == options_.host) return;  // ours were told already
  if (options_.on_event) options_.on_event(change);
  const std::string event = change.value("event", "");
  // A job another host queued, or one it put back: a free port here may take it now.
  if (event == "queued" || event == "retry") Wake();
  if (event != "ended") return;
  Events events;
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    const int64_t id = change.value("job", int64_t{0});
    auto [first, last] = waiters_.equal_range(id);
    if (first == last) return;
    std::optional<Job> job;
    try {
      job = store_->Find(id);
    } catch (const StoreError&) {
      return;  // the poll tells them
    }
    if (!job || !Finished(job->state)) return;
    for (auto it = first; it != last; ++it) events.waiters.emplace_back(std::move(it->second), *job);
    waiters_.erase(first, last);
  }
  Emit(events);
}

void JobQueue::Poll() {
  Events events;
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    const int64_t now = options_.now_ms();
    bool reached = SaveUnsaved(events);
    for (auto& u : unsaved_) {
      try {
        shared_->Renew(u.lease, now, options_.lease_ms);
      } catch (const StoreError&) {
        break;  // told by SaveUnsaved, or refused when it writes
      }
    }
    for (auto& slot : slots_) {
      if (slot->job == 0 || slot->lost) continue;
      try {
        if (shared_->Renew(slot->lease, now, options_.lease_ms)) {
          // Another host's rm: cancelled here like one of our own.
          if (auto it = jobs_.find(slot->job); it != jobs_.end() && !it->second.removing) {
            it->second.removing = true;
            it->second.reason = "being cancelled";
            slot->home->Post([runner = slot->runner] { runner->Cancel(); });
          }
        }
      } catch (const LeaseLost& e) {
        // Paused or cut off past the lease: the job is another host's now.
        std::cerr << "qvfaxd: lost job " << slot->job << " to another host: " << e.what() << "\n";
        slot->lost = true;
        jobs_.erase(slot->job);  // what the store says of it is the other host's
        slot->home->Post([runner = slot->runner] { runner->Cancel(); });
      } catch (const StoreError& e) {
        reached = false;
        StoreTrouble(e);
      }
    }
    // The ends, on other hosts, of jobs somebody here waits for.
    for (auto it = waiters_.begin(); reached && it != waiters_.end();) {
      if (jobs_.count(it->first)) {
        ++it;
        continue;
      }
      std::optional<Job> job;
      try {
        job = store_->Find(it->first);
      } catch (const StoreError& e) {
        StoreTrouble(e);
        break;
      }
      if (job && !Finished(job->state)) {
        ++it;
        continue;
      }
      if (job) events.waiters.emplace_back(std::move(it->second), *job);
      it = waiters_.erase(it);
    }
    if (reached && store_away_) {
      store_away_ = false;
      std::cerr << "qvfaxd: the job store is back\n";
    }
    auto& clock = *RequireApartment().clock;
    const int64_t every = std::min(options_.poll_ms, std::max<int64_t>(options_.lease_ms / 3, 1));
    poll_timer_ = clock.Schedule(std::chrono::milliseconds(every), [this] {
      poll_timer_ = 0;
      Poll();
    });
  }
  Emit(events);
  Dispatch();
}

void JobQueue::AttemptEnded(Slot& slot, const Attempt& attempt) {
  Events events;
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;  // taken up at the next start
    slot.job = 0;
    if (options_.give_port) options_.give_port(slot.runner->port());
    auto it = jobs_.find(attempt.job);
    if (it == jobs_.end()) return;
    Job& job = it->second;
    if (slot.lost) {
      // Whatever this attempt did, the host that took the job over counts its own.
      std::cerr << "qvfaxd: job " << job.id << " was taken up by another host; this attempt's result is not kept\n";
      jobs_.erase(attempt.job);
    } else {
      Job settled = job;
      Events told;
      Settle(settled, attempt, told);
      bool kept = true;
      try {
        Keep(&slot, settled, &attempt);
      } catch (const LeaseLost& e) {
        std::cerr << "qvfaxd: job " << job.id << " was taken up by another host; this attempt's result is refused: "
                  << e.what() << "\n";
        jobs_.erase(attempt.job);
        kept = false;
      } catch (const StoreError& e) {
        if (shared_) {
          // The database is away: the result waits here, and the job stays ours, until it is back.
          StoreTrouble(e);
          job = std::move(settled);
          unsaved_.push_back({slot.lease, job, attempt});
          kept = false;
        } else {
          std::cerr << "qvfaxd: job " << job.id << ": " << e.what() << "\n";
        }
      }
      if (kept) {
        events.changes.insert(events.changes.end(), told.changes.begin(), told.changes.end());
        job = std::move(settled);
        Settled(job, events);
      }
    }
  }
  Emit(events);
  Wake();
}

void JobQueue::Settled(Job& job, Events& events) {
  if (Finished(job.state)) {
    End(job, events);
  } else if (shared_) {
    const int64_t id = job.id;
    jobs_.erase(id);  // queued again in the store, for any host
  } else {
    waiting_.emplace(job.next_try_ms, job.id);
  }
}

bool JobQueue::SaveUnsaved(Events& events) {
  while (!unsaved_.empty()) {
    auto& u = unsaved_.front();
    try {
      shared_->Record(u.job, u.attempt, u.lease);
      if (auto it = jobs_.find(u.job.id); it != jobs_.end()) Settled(it->second, events);
    } catch (const LeaseLost& e) {
      std::cerr << "qvfaxd: job " << u.job.id << " was taken up by another host while the job store was away; "
                << "this attempt's result is refused: " << e.what() << "\n";
      jobs_.erase(u.job.id);
    } catch (const StoreError& e) {
      StoreTrouble(e);
      return false;
    }
    unsaved_.erase(unsaved_.begin());
  }
  return true;
}

// The job's state after an attempt, by the outcome's rule and the attempts left.
void JobQueue::Settle(Job& job, const Attempt& attempt, Events& events) {
  const int64_t now = options_.now_ms();
  job.pages_sent = attempt.pages_sent;
  job.port = attempt.port;
  job.outcome = attempt.outcome;
  const auto retry = RetryDelay(attempt.outcome);
  const std::string why = attempt.error != 0 ? attempt.error_text
                          : !attempt.status_text.empty() ? attempt.status_text
                                                         : attempt.error_text;
  if (attempt.outcome == Exit::kDelivered) {
    job.state = JobState::kDone;
    job.reason = why;
  } else if (attempt.outcome == Exit::kCancelled || job.removing) {
    job.state = JobState::kCancelled;
    job.reason = "cancelled";
  } else if (retry && job.attempts < job.request.max_attempts &&
             (job.request.kill_ms == 0 ||
              now + std::chrono::duration_cast<std::chrono::milliseconds>(*retry).count() <= job.request.kill_ms)) {
    job.state = JobState::kQueued;
    job.next_try_ms = now + std::chrono::duration_cast<std::chrono::milliseconds>(*retry).count();
    job.reason = fmt::format("{} ({}); tried again in {} s", OutcomeName(attempt.outcome), why, retry->count());
    events.changes.push_back(Change("retry", job));
    return;
  } else {
    job.state = JobState::kFailed;
    job.reason = fmt::format("{} ({}) after {} attempt{}{}", OutcomeName(attempt.outcome), why, job.attempts,
                             job.attempts == 1 ? "" : "s",
                             retry && job.attempts < job.request.max_attempts ? "; the next would start past its kill time" : "");
  }
  job.ended_ms = now;
}

void JobQueue::End(Job& job, Events& events) {
  RemoveDocuments(job.request);
  events.changes.push_back(Change("ended", job));
  events.ended.push_back(job);
  auto [first, last] = waiters_.equal_range(job.id);
  for (auto it = first; it != last; ++it) events.waiters.emplace_back(std::move(it->second), job);
  waiters_.erase(first, last);
  const int64_t id = job.id;  // `job` may be the map's own: erase by a copy of its key
  jobs_.erase(id);
}

void JobQueue::Emit(Events& events) {
  for (const auto& change : events.changes) {
    if (options_.on_event) options_.on_event(change);
    if (!shared_) continue;
    // To the other hosts' followers. A notification holds 8,000 bytes: a
    // job too long for one goes as what identifies it.
    auto told = change;
    told["host"] = options_.host;
    std::string text = told.dump();
    if (text.size() > 7'900) {
      text = nlohmann::json{{"event", change.value("event", "")}, {"job", change.value("job", int64_t{0})},
                            {"state", change.value("state", "")}, {"host", options_.host}}
                 .dump();
    }
    try {
      shared_->Announce(text);
    } catch (const StoreError&) {
      // Followers elsewhere miss this one; waiters there hear of the end at their next poll.
    }
  }
  for (const auto& job : events.ended) {
    if (options_.on_end) options_.on_end(job);
  }
  for (auto& [ended, job] : events.waiters) ended(job);
}

}  // namespace qvfax::queue
