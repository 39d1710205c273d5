// The job store in a PostgreSQL database several hosts share. A host claims
// a job with a row lock that other hosts skip, under a lease it renews; the
// lease's number guards every later change, so a host that was paused or cut
// off past its lease cannot undo what the host that took the job over did.
#include <libpq-fe.h>

#include <cstdlib>
#include <mutex>

#include <fmt/format.h>

#include "queue/job_json.h"
#include "queue/job_store.h"
#include "queue/postgres_feed.h"

namespace qvfax::queue {

namespace {

using nlohmann::json;

// The tables' layout; a database made by a newer qvfaxd is refused.
constexpr int kSchemaVersion = 1;
// Serialises creating and upgrading the tables among hosts starting at once.
constexpr const char* kSchemaLock = "7202301";

constexpr const char* kSchema = R"(
CREATE TABLE jobs (
  id bigserial PRIMARY KEY,
  state smallint NOT NULL,
  request text NOT NULL,
  client_request text NOT NULL DEFAULT '',
  submitted bigint NOT NULL,
  next_try bigint NOT NULL,
  ended bigint NOT NULL,
  attempts integer NOT NULL,
  pages_sent integer NOT NULL,
  outcome integer NOT NULL,
  reason text NOT NULL,
  port text NOT NULL,
  removing boolean NOT NULL DEFAULT false,
  lease bigint NOT NULL DEFAULT 0,
  lease_host text NOT NULL DEFAULT '',
  lease_until bigint NOT NULL DEFAULT 0);
CREATE UNIQUE INDEX jobs_by_client_request ON jobs (client_request) WHERE client_request <> '';
CREATE INDEX jobs_due ON jobs (next_try, id) WHERE state = 0;
CREATE INDEX jobs_leased ON jobs (lease_until) WHERE state = 1;
CREATE INDEX jobs_unfinished ON jobs (id) WHERE state <= 1;
CREATE INDEX jobs_history ON jobs (ended DESC, id DESC) WHERE state > 1;
CREATE TABLE attempts (
  job bigint NOT NULL REFERENCES jobs (id),
  number integer NOT NULL,
  record text NOT NULL,
  PRIMARY KEY (job, number));
CREATE TABLE received (
  id bigserial PRIMARY KEY,
  received bigint NOT NULL,
  record text NOT NULL);
CREATE INDEX received_newest ON received (received DESC, id DESC);
)";

constexpr const char* kJobColumns =
    "id, state, request, submitted, next_try, ended, attempts, pages_sent, outcome, reason, port, removing";
// The same, for a statement that names another table beside jobs.
constexpr const char* kJobsColumns =
    "jobs.id, jobs.state, jobs.request, jobs.submitted, jobs.next_try, jobs.ended, jobs.attempts, jobs.pages_sent,"
    " jobs.outcome, jobs.reason, jobs.port, jobs.removing";

class Result {
 public:
  explicit Result(PGresult* r) : r_(r) {}
  ~Result() { PQclear(r_); }
  Result(Result&& other) noexcept : r_(other.r_) { other.r_ = nullptr; }
  Result(const Result&) = delete;
  Result& operator=(const Result&) = delete;

  ExecStatusType Status() const { return PQresultStatus(r_); }
  int Rows() const { return PQntuples(r_); }
  int64_t Changed() const { return std::atoll(PQcmdTuples(r_)); }
  std::string Text(int row, int column) const { return PQgetvalue(r_, row, column); }
  int64_t Int(int row, int column) const { return std::atoll(PQgetvalue(r_, row, column)); }
  bool Bool(int row, int column) const { return Text(row, column) == "t"; }

 private:
  PGresult* r_;
};

Job ReadJob(const Result& r, int row) {
  Job job;
  job.id = r.Int(row, 0);
  job.state = static_cast<JobState>(r.Int(row, 1));
  job.request = RequestFromJson(json::parse(r.Text(row, 2), nullptr, false));
  job.submitted_ms = r.Int(row, 3);
  job.next_try_ms = r.Int(row, 4);
  job.ended_ms = r.Int(row, 5);
  job.attempts = static_cast<int32_t>(r.Int(row, 6));
  job.pages_sent = static_cast<int32_t>(r.Int(row, 7));
  job.outcome = static_cast<Exit>(r.Int(row, 8));
  job.reason = r.Text(row, 9);
  job.port = r.Text(row, 10);
  job.removing = r.Bool(row, 11);
  return job;
}

ReceivedFax ReadReceived(const Result& r, int row) {
  ReceivedFax fax = ReceivedFromJson(json::parse(r.Text(row, 1), nullptr, false));
  fax.id = r.Int(row, 0);
  return fax;
}

// A job's columns from `state` to `removing`, as parameters.
std::vector<std::string> JobValues(const Job& job) {
  return {std::to_string(static_cast<int>(job.state)),
          ToJson(job.request).dump(),
          job.request.client_request,
          std::to_string(job.submitted_ms),
          std::to_string(job.next_try_ms),
          std::to_string(job.ended_ms),
          std::to_string(job.attempts),
          std::to_string(job.pages_sent),
          std::to_string(static_cast<int>(job.outcome)),
          job.reason,
          job.port,
          job.removing ? "true" : "false"};
}

constexpr const char* kUpdateJob =
    "UPDATE jobs SET state = $1, request = $2, client_request = $3, submitted = $4, next_try = $5, ended = $6,"
    " attempts = $7, pages_sent = $8, outcome = $9, reason = $10, port = $11, removing = $12";

class PostgresJobStore : public SharedJobStore {
 public:
  explicit PostgresJobStore(const std::string& url) : url_(url) {
    conn_ = PQconnectdb(url.c_str());
    if (PQstatus(conn_) != CONNECTION_OK) {
      const std::string why = Why();
      PQfinish(conn_);
      throw StoreError(fmt::format("cannot reach the job database {}: {}", Shown(), why));
    }
    // The server's notices ("already exists, skipping") are not for the daemon's log.
    PQsetNoticeProcessor(conn_, [](void*, const char*) {}, nullptr);
    try {
      Migrate();
    } catch (const StoreError& e) {
      PQfinish(conn_);
      throw StoreError(fmt::format("the job database {} cannot be used: {}", Shown(), e.what()));
    }
  }

  ~PostgresJobStore() override { PQfinish(conn_); }

  int64_t Add(const Job& job) override {
    std::lock_guard lock(mutex_);
    auto values = JobValues(job);
    // Two hosts given one request at once: the second finds the first's job.
    const Result added = Run(
        "INSERT INTO jobs (state, request, client_request, submitted, next_try, ended, attempts, pages_sent, outcome,"
        " reason, port, removing) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12)"
        " ON CONFLICT (client_request) WHERE client_request <> '' DO NOTHING RETURNING id",
        values);
    if (added.Rows() == 1) return added.Int(0, 0);
    const Result found = Run("SELECT id FROM jobs WHERE client_request = $1", {job.request.client_request});
    if (found.Rows() != 1) throw StoreError("a job submitted twice at once was lost");
    return found.Int(0, 0);
  }

  void Save(const Job& job) override {
    std::lock_guard lock(mutex_);
    auto values = JobValues(job);
    values.push_back(std::to_string(job.id));
    Run(fmt::format("{} WHERE id = $13", kUpdateJob), values);
  }

  void Save(const Job& job, const Lease& lease) override {
    std::lock_guard lock(mutex_);
    Fenced(job, lease);
  }

  bool SaveIfQueued(const Job& job) override {
    std::lock_guard lock(mutex_);
    auto values = JobValues(job);
    values.push_back(std::to_string(job.id));
    return Run(fmt::format("{} WHERE id = $13 AND state = 0", kUpdateJob), values).Changed() == 1;
  }

  void Record(const Job& job, const Attempt& attempt) override {
    std::lock_guard lock(mutex_);
    Transaction t(*this);
    auto values = JobValues(job);
    values.push_back(std::to_string(job.id));
    Run(fmt::format("{} WHERE id = $13", kUpdateJob), values);
    AddAttempt(attempt);
    t.Commit();
  }

  void Record(const Job& job, const Attempt& attempt, const Lease& lease) override {
    std::lock_guard lock(mutex_);
    Transaction t(*this);
    Fenced(job, lease);
    AddAttempt(attempt);
    t.Commit();
  }

  std::optional<Claimed> Claim(const std::string& host, int64_t now_ms, int64_t lease_ms) override {
    std::lock_guard lock(mutex_);
    const std::string now = std::to_string(now_ms), until = std::to_string(now_ms + lease_ms);
    // A job whose host stopped comes first: it has waited longest. Rows
    // another host is claiming this moment are skipped, not waited for.
    for (const char* pick : {"SELECT id, lease_host FROM jobs WHERE state = 1 AND lease_until < $2"
                             " ORDER BY lease_until LIMIT 1 FOR UPDATE SKIP LOCKED",
                             "SELECT id, '' AS lease_host FROM jobs WHERE state = 0 AND next_try <= $2"
                             " ORDER BY next_try, id LIMIT 1 FOR UPDATE SKIP LOCKED"}) {
      const Result r = Run(fmt::format("WITH pick AS ({}) UPDATE jobs SET state = 1, lease = jobs.lease + 1,"
                                       " lease_host = $1, lease_until = $3 FROM pick WHERE jobs.id = pick.id"
                                       " RETURNING {}, jobs.lease, pick.lease_host",
                                       pick, kJobsColumns),
                           {host, now, until});
      if (r.Rows() == 0) continue;
      Claimed c;
      c.job = ReadJob(r, 0);
      c.lease = Lease{c.job.id, r.Int(0, 12), now_ms + lease_ms};
      c.lapsed_host = r.Text(0, 13);
      return c;
    }
    return std::nullopt;
  }

  bool Renew(Lease& lease, int64_t now_ms, int64_t lease_ms) override {
    std::lock_guard lock(mutex_);
    const int64_t until = now_ms + lease_ms;
    const Result r = Run("UPDATE jobs SET lease_until = $3 WHERE id = $1 AND lease = $2 AND state = 1 RETURNING removing",
                         {std::to_string(lease.job), std::to_string(lease.number), std::to_string(until)});
    if (r.Rows() != 1) throw Lost(lease);
    lease.until_ms = until;
    return r.Bool(0, 0);
  }

  bool AskRemoval(int64_t id) override {
    std::lock_guard lock(mutex_);
    return Run("UPDATE jobs SET removing = true WHERE id = $1 AND state = 1", {std::to_string(id)}).Changed() == 1;
  }

  void Announce(const std::string& change) override {
    std::lock_guard lock(mutex_);
    Run("SELECT pg_notify($1, $2)", {kJobsChannel, change});
  }

  std::unique_ptr<Feed> Follow(std::function<void(const std::string&)> heard) override {
    return FollowPostgres(url_, std::move(heard));
  }

  std::vector<Job> Unfinished(int64_t after_id, int limit) override {
    std::lock_guard lock(mutex_);
    return Jobs(Run(fmt::format("SELECT {} FROM jobs WHERE state <= 1 AND id > $1 ORDER BY id LIMIT {}", kJobColumns,
                                limit < 0 ? std::string("ALL") : std::to_string(limit)),
                    {std::to_string(after_id)}));
  }

  std::vector<Job> History(int limit) override {
    std::lock_guard lock(mutex_);
    return Jobs(Run(fmt::format("SELECT {} FROM jobs WHERE state > 1 ORDER BY ended DESC, id DESC LIMIT $1",
                                kJobColumns),
                    {std::to_string(limit)}));
  }

  std::optional<Job> Find(int64_t id) override {
    std::lock_guard lock(mutex_);
    return First(Run(fmt::format("SELECT {} FROM jobs WHERE id = $1", kJobColumns), {std::to_string(id)}));
  }

  std::optional<Job> FindRequest(const std::string& client_request) override {
    std::lock_guard lock(mutex_);
    if (client_request.empty()) return std::nullopt;
    return First(Run(fmt::format("SELECT {} FROM jobs WHERE client_request = $1", kJobColumns), {client_request}));
  }

  std::vector<Attempt> Attempts(int64_t job) override {
    std::lock_guard lock(mutex_);
    const Result r = Run("SELECT record FROM attempts WHERE job = $1 ORDER BY number", {std::to_string(job)});
    std::vector<Attempt> attempts;
    for (int i = 0; i < r.Rows(); ++i) attempts.push_back(AttemptFromJson(json::parse(r.Text(i, 0), nullptr, false)));
    return attempts;
  }

  int64_t AddReceived(const ReceivedFax& fax) override {
    std::lock_guard lock(mutex_);
    return Run("INSERT INTO received (received, record) VALUES ($1, $2) RETURNING id",
               {std::to_string(fax.received_ms), ToJson(fax).dump()})
        .Int(0, 0);
  }

  std::vector<ReceivedFax> Received(int limit) override {
    std::lock_guard lock(mutex_);
    const Result r =
        Run("SELECT id, record FROM received ORDER BY received DESC, id DESC LIMIT $1", {std::to_string(limit)});
    std::vector<ReceivedFax> faxes;
    for (int i = 0; i < r.Rows(); ++i) faxes.push_back(ReadReceived(r, i));
    return faxes;
  }

  std::optional<ReceivedFax> FindReceived(int64_t id) override {
    std::lock_guard lock(mutex_);
    const Result r = Run("SELECT id, record FROM received WHERE id = $1", {std::to_string(id)});
    if (r.Rows() == 0) return std::nullopt;
    return ReadReceived(r, 0);
  }

  bool RemoveReceived(int64_t id) override {
    std::lock_guard lock(mutex_);
    return Run("DELETE FROM received WHERE id = $1", {std::to_string(id)}).Changed() == 1;
  }

 private:
  class Transaction {
   public:
    explicit Transaction(PostgresJobStore& store) : store_(store) { store_.Run("BEGIN", {}); }
    ~Transaction() {
      if (!done_) PQclear(PQexec(store_.conn_, "ROLLBACK"));
    }
    void Commit() {
      store_.Run("COMMIT", {});
      done_ = true;
    }

   private:
    PostgresJobStore& store_;
    bool done_ = false;
  };

  void Migrate() {
    Transaction t(*this);
    Run(fmt::format("SELECT pg_advisory_xact_lock({})", kSchemaLock), {});
    Run("CREATE TABLE IF NOT EXISTS qvfax_schema (version integer NOT NULL)", {});
    const Result r = Run("SELECT coalesce(max(version), 0) FROM qvfax_schema", {});
    const int64_t version = r.Int(0, 0);
    if (version > kSchemaVersion) {
      throw StoreError(fmt::format("its tables are of version {}, made by a newer qvfaxd (this one knows {})",
                                   version, kSchemaVersion));
    }
    if (version == 0) {
      Run(kSchema, {});
      Run(fmt::format("INSERT INTO qvfax_schema (version) VALUES ({})", kSchemaVersion), {});
    }
    t.Commit();
  }

  void Fenced(const Job& job, const Lease& lease) {
    auto values = JobValues(job);
    values.push_back(std::to_string(job.id));
    values.push_back(std::to_string(lease.number));
    if (Run(fmt::format("{} WHERE id = $13 AND lease = $14", kUpdateJob), values).Changed() != 1) throw Lost(lease);
  }

  LeaseLost Lost(const Lease& lease) const {
    return LeaseLost(fmt::format("job {}: lease {} is no longer ours (another host took the job up)", lease.job,
                                 lease.number));
  }

  void AddAttempt(const Attempt& attempt) {
    Run("INSERT INTO attempts (job, number, record) VALUES ($1, $2, $3)"
        " ON CONFLICT (job, number) DO UPDATE SET record = excluded.record",
        {std::to_string(attempt.job), std::to_string(attempt.number), ToJson(attempt).dump()});
  }

  static std::vector<Job> Jobs(const Result& r) {
    std::vector<Job> jobs;
    jobs.reserve(static_cast<size_t>(r.Rows()));
    for (int i = 0; i < r.Rows(); ++i) jobs.push_back(ReadJob(r, i));
    return jobs;
  }

  static std::optional<Job> First(const Result& r) {
    if (r.Rows() == 0) return std::nullopt;
    return ReadJob(r, 0);
  }

  // Runs one statement. A connection that broke is opened again once before
  // the statement is given up; inside a transaction it is not, since what
  // the transaction did is gone with the old connection.
  Result Run(const std::string& sql, const std::vector<std::string>& params) {
    for (int tries = 0;; ++tries) {
      std::vector<const char*> values;
      values.reserve(params.size());
      for (const auto& p : params) values.push_back(p.c_str());
      // Without parameters a text may hold several statements (the tables' layout).
      Result r(params.empty() ? PQexec(conn_, sql.c_str())
                              : PQexecParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr,
                                             values.data(), nullptr, nullptr, 0));
      const ExecStatusType status = r.Status();
      if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return r;
      if (PQstatus(conn_) == CONNECTION_BAD && tries == 0 && PQtransactionStatus(conn_) != PQTRANS_INTRANS) {
        PQreset(conn_);
        if (PQstatus(conn_) == CONNECTION_OK) continue;
      }
      throw StoreError(Why());
    }
  }

  std::string Why() const {
    std::string why = PQerrorMessage(conn_);
    while (!why.empty() && (why.back() == '\n' || why.back() == ' ')) why.pop_back();
    return why.empty() ? "no reason given" : why;
  }

  // The URL without a password, for messages.
  std::string Shown() const {
    const auto at = url_.find('@');
    const auto scheme = url_.find("://");
    if (at == std::string::npos || scheme == std::string::npos) return url_;
    const auto colon = url_.find(':', scheme + 3);
    if (colon == std::string::npos || colon > at) return url_;
    return url_.substr(0, colon) + ":***" + url_.substr(at);
  }

  std::string url_;
  PGconn* conn_ = nullptr;
  std::mutex mutex_;
};

}  // namespace

std::unique_ptr<SharedJobStore> OpenPostgresStore(const std::string& url) {
  return std::make_unique<PostgresJobStore>(url);
}

}  // namespace qvfax::queue
