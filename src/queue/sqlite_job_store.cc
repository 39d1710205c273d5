// The job store in an SQLite file. The file is held exclusively while the
// store is open, so two daemons never run one queue; the journal is written
// ahead and synced at every commit, so a change is either all there after a
// crash or not at all.
#include <sqlite3.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <mutex>

#include <fmt/format.h>

#include "queue/job_json.h"
#include "queue/job_store.h"
#include "queue/outcome.h"

namespace qvfax::queue {

namespace {

using nlohmann::json;

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) Throw("cannot prepare a statement");
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int i, int64_t v) { return Check(sqlite3_bind_int64(stmt_, i, v)); }
  Statement& Bind(int i, const std::string& v) {
    return Check(sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT));
  }
  // True while a row is there.
  bool Step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    Throw("cannot read or write the job store");
  }
  int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }
  std::string Text(int column) const {
    const auto* text = sqlite3_column_text(stmt_, column);
    return text ? reinterpret_cast<const char*>(text) : "";
  }

 private:
  Statement& Check(int rc) {
    if (rc != SQLITE_OK) Throw("cannot bind a value");
    return *this;
  }
  [[noreturn]] void Throw(const char* what) const { throw StoreError(fmt::format("{}: {}", what, sqlite3_errmsg(db_))); }

  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
};

constexpr const char* kJobColumns =
    "id, state, request, submitted, next_try, ended, attempts, pages_sent, outcome, reason, port";

Job ReadJob(const Statement& s) {
  Job job;
  job.id = s.Int(0);
  job.state = static_cast<JobState>(s.Int(1));
  job.request = RequestFromJson(json::parse(s.Text(2), nullptr, false));
  job.submitted_ms = s.Int(3);
  job.next_try_ms = s.Int(4);
  job.ended_ms = s.Int(5);
  job.attempts = static_cast<int32_t>(s.Int(6));
  job.pages_sent = static_cast<int32_t>(s.Int(7));
  job.outcome = static_cast<Exit>(s.Int(8));
  job.reason = s.Text(9);
  job.port = s.Text(10);
  return job;
}

ReceivedFax ReadReceived(const Statement& s) {
  ReceivedFax fax = ReceivedFromJson(json::parse(s.Text(1), nullptr, false));
  fax.id = s.Int(0);
  return fax;
}

// What the system says of the store's folder when SQLite could not use it.
std::string SystemCause(const std::string& path, int system_errno) {
  if (IsLocalFailure(system_errno)) return LocalFailureText(system_errno);
  const std::string folder = std::filesystem::path(path).parent_path().string();
  struct statvfs info {};
  if (::statvfs(folder.c_str(), &info) == 0) {
    if (info.f_flag & ST_RDONLY) return LocalFailureText(EROFS);
    if (info.f_bavail == 0) return LocalFailureText(ENOSPC);
  }
  if (::access(folder.c_str(), W_OK) != 0) return LocalFailureText(errno);
  return "";
}

class SqliteJobStore : public JobStore {
 public:
  explicit SqliteJobStore(const std::string& path) : path_(path) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
      const std::string why = db_ ? sqlite3_errmsg(db_) : "out of memory";
      sqlite3_close(db_);
      throw StoreError(fmt::format("cannot open the job store {}: {}", path, why));
    }
    sqlite3_busy_timeout(db_, 250);
    try {
      // Exclusive from the first write on: nobody else opens the queue.
      Exec("PRAGMA locking_mode=EXCLUSIVE");
      Exec("PRAGMA journal_mode=WAL");
      Exec("PRAGMA synchronous=FULL");
      Exec("BEGIN EXCLUSIVE");
      Exec("COMMIT");
      Statement check(db_, "PRAGMA quick_check");
      if (check.Step() && check.Text(0) != "ok") throw StoreError("damaged: " + check.Text(0));
      Exec("CREATE TABLE IF NOT EXISTS jobs (id INTEGER PRIMARY KEY AUTOINCREMENT, state INTEGER NOT NULL,"
           " request TEXT NOT NULL, submitted INTEGER NOT NULL, next_try INTEGER NOT NULL, ended INTEGER NOT NULL,"
           " attempts INTEGER NOT NULL, pages_sent INTEGER NOT NULL, outcome INTEGER NOT NULL,"
           " reason TEXT NOT NULL, port TEXT NOT NULL)");
      Exec("CREATE INDEX IF NOT EXISTS jobs_by_state ON jobs (state, id)");
      Exec("CREATE INDEX IF NOT EXISTS jobs_by_client_request ON jobs (json_extract(request, '$.client_request'))");
      Exec("CREATE TABLE IF NOT EXISTS attempts (job INTEGER NOT NULL, number INTEGER NOT NULL,"
           " record TEXT NOT NULL, PRIMARY KEY (job, number))");
      Exec("CREATE TABLE IF NOT EXISTS received (id INTEGER PRIMARY KEY AUTOINCREMENT, received INTEGER NOT NULL,"
           " record TEXT NOT NULL)");
    } catch (const StoreError& e) {
      // SQLite's words ("disk I/O error") hide what the system said; the system's tell the user what to mend.
      const std::string found = SystemCause(path, sqlite3_system_errno(db_));
      const std::string cause = found.empty() ? "" : " (" + found + ")";
      sqlite3_close(db_);
      throw StoreError(fmt::format("the job store {} cannot be used: {}{}", path, e.what(), cause));
    }
  }

  ~SqliteJobStore() override { sqlite3_close(db_); }

  int64_t Add(const Job& job) override {
    std::lock_guard lock(mutex_);
    Transaction t(*this);
    Statement s(db_, "INSERT INTO jobs (state, request, submitted, next_try, ended, attempts, pages_sent, outcome,"
                     " reason, port) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    BindJob(s, job, 1);
    s.Step();
    const int64_t id = sqlite3_last_insert_rowid(db_);
    t.Commit();
    return id;
  }

  void Save(const Job& job) override {
    std::lock_guard lock(mutex_);
    Transaction t(*this);
    Update(job);
    t.Commit();
  }

  void Record(const Job& job, const Attempt& attempt) override {
    std::lock_guard lock(mutex_);
    Transaction t(*this);
    Update(job);
    Statement s(db_, "INSERT OR REPLACE INTO attempts (job, number, record) VALUES (?, ?, ?)");
    s.Bind(1, attempt.job).Bind(2, attempt.number).Bind(3, ToJson(attempt).dump());
    s.Step();
    t.Commit();
  }

  std::vector<Job> Unfinished(int64_t after_id, int limit) override {
    std::lock_guard lock(mutex_);
    Statement s(db_, fmt::format("SELECT {} FROM jobs WHERE state <= {} AND id > ? ORDER BY id LIMIT ?", kJobColumns,
                                 static_cast<int>(JobState::kRunning))
                         .c_str());
    s.Bind(1, after_id).Bind(2, limit);
    std::vector<Job> jobs;
    while (s.Step()) jobs.push_back(ReadJob(s));
    return jobs;
  }

  std::vector<Job> History(int limit) override {
    std::lock_guard lock(mutex_);
    return Jobs(fmt::format("SELECT {} FROM jobs WHERE state > {} ORDER BY ended DESC, id DESC LIMIT ?",
                            kJobColumns, static_cast<int>(JobState::kRunning)),
                limit);
  }

  std::optional<Job> Find(int64_t id) override {
    std::lock_guard lock(mutex_);
    Statement s(db_, fmt::format("SELECT {} FROM jobs WHERE id = ?", kJobColumns).c_str());
    s.Bind(1, id);
    if (!s.Step()) return std::nullopt;
    return ReadJob(s);
  }

  std::optional<Job> FindRequest(const std::string& client_request) override {
    std::lock_guard lock(mutex_);
    Statement s(db_, fmt::format("SELECT {} FROM jobs WHERE json_extract(request, '$.client_request') = ?"
                                 " ORDER BY id LIMIT 1", kJobColumns).c_str());
    s.Bind(1, client_request);
    if (!s.Step()) return std::nullopt;
    return ReadJob(s);
  }

  int64_t AddReceived(const ReceivedFax& fax) override {
    std::lock_guard lock(mutex_);
    Transaction t(*this);
    Statement s(db_, "INSERT INTO received (received, record) VALUES (?, ?)");
    s.Bind(1, fax.received_ms).Bind(2, ToJson(fax).dump());
    s.Step();
    const int64_t id = sqlite3_last_insert_rowid(db_);
    t.Commit();
    return id;
  }

  std::vector<ReceivedFax> Received(int limit) override {
    std::lock_guard lock(mutex_);
    Statement s(db_, "SELECT id, record FROM received ORDER BY received DESC, id DESC LIMIT ?");
    s.Bind(1, limit);
    std::vector<ReceivedFax> faxes;
    while (s.Step()) faxes.push_back(ReadReceived(s));
    return faxes;
  }

  std::optional<ReceivedFax> FindReceived(int64_t id) override {
    std::lock_guard lock(mutex_);
    Statement s(db_, "SELECT id, record FROM received WHERE id = ?");
    s.Bind(1, id);
    if (!s.Step()) return std::nullopt;
    return ReadReceived(s);
  }

  bool RemoveReceived(int64_t id) override {
    std::lock_guard lock(mutex_);
    Transaction t(*this);
    Statement s(db_, "DELETE FROM received WHERE id = ?");
    s.Bind(1, id);
    s.Step();
    const bool removed = sqlite3_changes(db_) > 0;
    t.Commit();
    return removed;
  }

  std::vector<Attempt> Attempts(int64_t job) override {
    std::lock_guard lock(mutex_);
    Statement s(db_, "SELECT record FROM attempts WHERE job = ? ORDER BY number");
    s.Bind(1, job);
    std::vector<Attempt> attempts;
    while (s.Step()) attempts.push_back(AttemptFromJson(json::parse(s.Text(0), nullptr, false)));
    return attempts;
  }

 private:
  class Transaction {
   public:
    explicit Transaction(SqliteJobStore& store) : store_(store) { store_.Exec("BEGIN IMMEDIATE"); }
    ~Transaction() {
      if (!done_) sqlite3_exec(store_.db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    void Commit() {
      store_.Exec("COMMIT");
      done_ = true;
    }

   private:
    SqliteJobStore& store_;
    bool done_ = false;
  };

  void Exec(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
      const std::string why = message ? message : sqlite3_errmsg(db_);
      sqlite3_free(message);
      if (sqlite3_errcode(db_) == SQLITE_BUSY || sqlite3_errcode(db_) == SQLITE_LOCKED) {
        throw StoreError("another process holds it (" + why + ")");
      }
      throw StoreError(why);
    }
  }

  static void BindJob(Statement& s, const Job& job, int first) {
    s.Bind(first, static_cast<int64_t>(job.state))
        .Bind(first + 1, ToJson(job.request).dump())
        .Bind(first + 2, job.submitted_ms)
        .Bind(first + 3, job.next_try_ms)
        .Bind(first + 4, job.ended_ms)
        .Bind(first + 5, job.attempts)
        .Bind(first + 6, job.pages_sent)
        .Bind(first + 7, static_cast<int64_t>(job.outcome))
        .Bind(first + 8, job.reason)
        .Bind(first + 9, job.port);
  }

  void Update(const Job& job) {
    Statement s(db_, "UPDATE jobs SET state = ?, request = ?, submitted = ?, next_try = ?, ended = ?, attempts = ?,"
                     " pages_sent = ?, outcome = ?, reason = ?, port = ? WHERE id = ?");
    BindJob(s, job, 1);
    s.Bind(11, job.id);
    s.Step();
  }

  std::vector<Job> Jobs(const std::string& sql, int limit) {
    Statement s(db_, sql.c_str());
    if (limit >= 0) s.Bind(1, limit);
    std::vector<Job> jobs;
    while (s.Step()) jobs.push_back(ReadJob(s));
    return jobs;
  }

  std::string path_;
  sqlite3* db_ = nullptr;
  // The queue and the inbox share the one connection; a transaction is the connection's.
  std::mutex mutex_;
};

}  // namespace

std::unique_ptr<JobStore> OpenSqliteStore(const std::string& path) { return std::make_unique<SqliteJobStore>(path); }

}  // namespace qvfax::queue
