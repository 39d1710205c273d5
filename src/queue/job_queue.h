// The fax queue: jobs handed over with a number and prepared documents,
// sent by one runner per port in order of their time, tried again by cause,
// and kept in a store so they outlive the daemon. With a store other hosts
// share, each port claims its next job from the store, and the jobs of a
// host that stopped are taken up by the others. Safe to call from any
// thread; the runners and the queue's timers work on homes of their own.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "queue/job.h"
#include "queue/job_store.h"

namespace qvfax::queue {

class PortRunner;

// Where work runs: an apartment's thread in the daemon; tests drive their
// own. Work posted there finds its apartment's clock current.
class Home {
 public:
  virtual ~Home() = default;
  virtual void Post(std::function<void()> work) = 0;
};

// A request the queue refuses; what says why.
class Refused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct QueueOptions {
  std::vector<std::string> ports;
  std::function<int64_t()> now_ms;
  // Makes the home of the queue's timers ("queue") and of each port's runner.
  std::function<std::unique_ptr<Home>(const std::string& name)> make_home;
  // Every change of a job, as its JSON with an "event" member.
  std::function<void(const nlohmann::json&)> on_event;
  // A job has ended (for the notify command).
  std::function<void(const Job&)> on_end;
  // A port that also answers calls is dialled out on only once `take_port`
  // has let it go (`go` may run later, on any thread); `give_port` hands it
  // back when the attempt has ended. Unset: the ports are the queue's alone.
  std::function<void(const std::string& port, std::function<void()> go)> take_port;
  std::function<void(const std::string& port)> give_port;
  // A store shared with other hosts: jobs are claimed from it under leases
  // of `lease_ms`, renewed while they run, as host `host`; the store is
  // looked at every `poll_ms` for jobs other hosts queued or ended.
  std::string host;
  int64_t lease_ms = 30'000;
  int64_t poll_ms = 1'000;
};

class JobQueue {
 public:
  // Takes up the jobs the store holds: one that was running when the daemon
  // stopped has that attempt counted, and is tried again if it may be.
  JobQueue(std::shared_ptr<JobStore> store, QueueOptions options);
  ~JobQueue();  // stops the runners; jobs under way are taken up at the next start
  JobQueue(const JobQueue&) = delete;
  JobQueue& operator=(const JobQueue&) = delete;

  // Queues a job; throws Refused for a bad number, a time gone by or a bad
  // attempt limit, StoreError when it cannot be stored (nothing is then kept).
  // A request whose client_request names a job already submitted is that
  // job: its id is returned and nothing new is queued.
  int64_t Submit(JobRequest request);
  // The job submitted under `client_request`, if any.
  std::optional<Job> Submitted(const std::string& client_request) const;
  // Keeps a fax a client sent at once through the daemon, ended, in the
  // history beside the queue's jobs; its attempt as the server object told it.
  // Store errors are reported on stderr: the fax itself is over.
  void RecordDirect(const Attempt& attempt, const JobRequest& request);
  // Not finished, in order of id: those after job `after_id`, at most `limit` (all when negative).
  std::vector<Job> Jobs(int64_t after_id = 0, int limit = -1) const;
  std::vector<Job> History(int limit) const;
  std::optional<Job> Find(int64_t id) const;
  std::vector<Attempt> Attempts(int64_t id) const;
  // Cancels a job: a queued one at once, a running one through its runner.
  // Throws Refused when there is no such job or it has ended.
  void Remove(int64_t id);
  // `ended` is called once with the job when it has ended (at once if it has).
  void WhenEnded(int64_t id, std::function<void(const Job&)> ended);

 private:
  struct Slot;
  struct Events;

  void Recover();
  void Wake();
  void Dispatch();
  // The queue's own choice of the next job for a free port.
  Job* NextDue(int64_t now, Events& events);
  // A shared store's choice: claims until a job is there to run, or none.
  Job* Claim(Slot& slot, int64_t now, Events& events);
  void Begin(Slot& slot, Job& job, Events& events);
  // Ends a job whose kill time passed before any port took it.
  void KillUnstarted(Slot* slot, Job& job, int64_t now, Events& events);
  // Tells of a store that cannot be used, once until it can again.
  void StoreTrouble(const StoreError& e);
  // Writes a change of a job; fenced by the slot's lease when the store is shared.
  void Keep(const Slot* slot, const Job& job, const Attempt* attempt);
  // Shared: renews the leases of the jobs running here, and looks for jobs
  // other hosts queued and for ends that waiters here wait for.
  void Poll();
  Attempt Interrupted(const Job& job, const std::string& why) const;
  // Shared: a change another host announced.
  void Heard(const std::string& text);
  void AttemptEnded(Slot& slot, const Attempt& attempt);
  void Settle(Job& job, const Attempt& attempt, Events& events);
  void End(Job& job, Events& events);
  // Removing a job this host does not hold: cancelled if still queued, else
  // its host is asked to cancel it.
  void RemoveFromStore(int64_t id, Events& events);
  void Emit(Events& events);

  std::shared_ptr<JobStore> store_;
  SharedJobStore* shared_ = nullptr;  // the same store, when other hosts share it
  QueueOptions options_;
  std::unique_ptr<Home> home_;
  std::vector<std::unique_ptr<Slot>> slots_;
  mutable std::mutex mutex_;
  std::map<int64_t, Job> jobs_;                   // unfinished
  std::set<std::pair<int64_t, int64_t>> waiting_;  // queued: (next try, id)
  std::multimap<int64_t, std::function<void(const Job&)>> waiters_;
  uint64_t wake_timer_ = 0;
  uint64_t poll_timer_ = 0;
  // Shared: results the store could not take when their attempts ended,
  // written again at each poll until it takes them (or refuses the lease).
  struct Unsaved {
    Lease lease;
    Job job;
    Attempt attempt;
  };
  std::vector<Unsaved> unsaved_;
  // Writes what `unsaved_` holds; false while the store stays away.
  bool SaveUnsaved(Events& events);
  // A result the store took: the job ends, or waits in the store for any host.
  void Settled(Job& job, Events& events);
  bool store_away_ = false;
  std::unique_ptr<SharedJobStore::Feed> feed_;  // shared: other hosts' changes
  bool stopping_ = false;
};

}  // namespace qvfax::queue
