// Where the queue keeps its jobs, and the records of the faxes that came in:
// every change is one transaction, so after a crash each job is as it was
// before a change or after it. Kept small so a shared database can stand in
// for the local file later.
#pragma once

#include <cstdint>
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

  // Jobs not finished, in order of id.
  virtual std::vector<Job> Unfinished() = 0;
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

// The jobs in an SQLite file, created when missing. Throws StoreError when
// the file is not a job store, is damaged, or another process holds it.
std::unique_ptr<JobStore> OpenSqliteStore(const std::string& path);

}  // namespace qvfax::queue
