// Where the queue keeps its jobs, and the records of the faxes that came in:
// every change is one transaction, so after a crash each job is as it was
// before a change or after it. One host keeps them in an SQLite file; hosts
// that share one queue keep them in PostgreSQL, where a job is claimed by
// the host that runs it and every change it makes carries its lease.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "queue/job.h"
#include "queue/received_fax.h"

namespace qvfax::queue {

// The store cannot be read or written; what says why.
class StoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class JobStore {
 public:
  virtual ~JobStore() = default;

  // Stores a new job and gives it its id (job.id is ignored).
  virtual int64_t Add(const Job& job) = 0;
  // Replaces what is stored of the job.
  virtual void Save(const Job& job) = 0;
  // Records an attempt and the job's state after it, together.
  virtual void Record(const Job& job, const Attempt& attempt) = 0;

  // Jobs not finished, in order of id: those after job `after_id`, at most
  // `limit` of them (all when negative).
  virtual std::vector<Job> Unfinished(int64_t after_id, int limit) = 0;
  std::vector<Job> Unfinished() { return Unfinished(0, -1); }
  // Finished jobs, newest first, at most `limit`.
  virtual std::vector<Job> History(int limit) = 0;
  virtual std::optional<Job> Find(int64_t id) = 0;
  // The job submitted under the client's request id, if any.
  virtual std::optional<Job> FindRequest(const std::string& client_request) = 0;
  virtual std::vector<Attempt> Attempts(int64_t job) = 0;

  // Stores the record of a fax that came in and gives it its id.
  virtual int64_t AddReceived(const ReceivedFax& fax) = 0;
  // Received faxes, newest first, at most `limit`.
  virtual std::vector<ReceivedFax> Received(int limit) = 0;
  virtual std::optional<ReceivedFax> FindReceived(int64_t id) = 0;
  // Forgets the record; false when there was none. Its file is the caller's.
  virtual bool RemoveReceived(int64_t id) = 0;
};

// A host's hold on a job it runs, until `until_ms`. The number grows with
// every claim of the job, so a host whose lease ran out, and whose job
// another host took up, has its late changes refused.
struct Lease {
  int64_t job = 0;
  int64_t number = 0;
  int64_t until_ms = 0;
};

// A change refused because the job's lease is no longer the writer's.
class LeaseLost : public StoreError {
 public:
  using StoreError::StoreError;
};

// A job a host claimed: a queued one that was due, or a running one whose
// host let its lease run out (`lapsed_host` names that host).
struct Claimed {
  Job job;
  Lease lease;
  std::string lapsed_host;
};

// A store several hosts share. Jobs are claimed, not handed out by one
// queue; the store, not any host, decides who runs what.
class SharedJobStore : public JobStore {
 public:
  // Claims for `host` the queued job due first (its next try at or before
  // `now_ms`), or else a running job whose lease ran out before `now_ms`;
  // marks it running under a new lease of `lease_ms`. Nothing when none is
  // there; two hosts never claim one job.
  virtual std::optional<Claimed> Claim(const std::string& host, int64_t now_ms, int64_t lease_ms) = 0;
  // Extends `lease` to now + `lease_ms`; LeaseLost when it is no longer
  // ours. True when a host has asked for the job's removal meanwhile.
  virtual bool Renew(Lease& lease, int64_t now_ms, int64_t lease_ms) = 0;
  // Asks the host running job `id` to cancel it; false when it is not running.
  virtual bool AskRemoval(int64_t id) = 0;
  // Record() and Save() of a job held under `lease`: LeaseLost, and nothing
  // written, when the lease is no longer ours.
  virtual void Record(const Job& job, const Attempt& attempt, const Lease& lease) = 0;
  virtual void Save(const Job& job, const Lease& lease) = 0;
  // Ends a queued job as `job` says (cancelled), unless a host claimed it
  // first: false then, and nothing written.
  virtual bool SaveIfQueued(const Job& job) = 0;
  // Tells every host's followers of a change of a job (its JSON text).
  virtual void Announce(const std::string& change) = 0;
  // Hears the changes any host announces, this one's too, on a thread of
  // its own, until the returned feed is destroyed; a connection lost is
  // made again. `heard` gets each change's JSON text.
  class Feed {
   public:
    virtual ~Feed() = default;
  };
  virtual std::unique_ptr<Feed> Follow(std::function<void(const std::string& change)> heard) = 0;
  using JobStore::Record;
  using JobStore::Save;
};

// The jobs in an SQLite file, created when missing. Throws StoreError when
// the file is not a job store, is damaged, or another process holds it.
std::unique_ptr<JobStore> OpenSqliteStore(const std::string& path);

// The jobs in the PostgreSQL database at `url` (postgresql://...), whose
// tables are created, or brought up to this version, when first opened.
// Throws StoreError when the database cannot be reached or was made by a
// newer qvfaxd.
std::unique_ptr<SharedJobStore> OpenPostgresStore(const std::string& url);

}  // namespace qvfax::queue
