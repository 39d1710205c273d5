// The queue in PostgreSQL beside the queue in SQLite, and hosts sharing it,
// on the line engine at line speed 0. Run by hand; it starts its own private
// PostgreSQL cluster (scripts/pgnet, in QVFAX_PGNET or /tmp/qvfax-pgnet-bench):
// - with 131,072 jobs queued in each store: a job stored (the store's share
//   of a submit), a whole submit through the daemon (its document prepared in
//   a process of its own and synced to disk first), and one page of `jobs`
//   (100 jobs): the median and the 95th percentile of 100 of each;
// - 1,000 one-page jobs claimed and finished by 1 host and by 3 hosts (8
//   lines each): jobs a second.
#include <libpq-fe.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include "engines/pages/sample_tiff.h"
#include "line_daemon.h"
#include "queue/job_store.h"
#include "rpc/client.h"

namespace qvfax {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

const char* PgNet() {
  if (!std::getenv("QVFAX_PGNET")) setenv("QVFAX_PGNET", "/tmp/qvfax-pgnet-bench", 1);
  return "bash " QVFAX_SOURCE_DIR "/scripts/pgnet/pgnet";
}

std::string PgUrl() {
  std::string url;
  if (FILE* out = ::popen(fmt::format("{} url", PgNet()).c_str(), "r")) {
    char line[512];
    if (std::fgets(line, sizeof line, out)) url = line;
    ::pclose(out);
  }
  while (!url.empty() && url.back() == '\n') url.pop_back();
  return url;
}

void PgExec(const std::string& url, const std::string& sql) {
  PGconn* conn = PQconnectdb(url.c_str());
  PQclear(PQexec(conn, sql.c_str()));
  PQfinish(conn);
}

struct Scratch {
  explicit Scratch(bool postgres) {
    folder = (fs::temp_directory_path() / "qvfax-shared-bench-XXXXXX").string();
    if (!mkdtemp(folder.data())) std::abort();
    setenv("XDG_STATE_HOME", (folder + "/state").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    document = pages::MakeFaxTiff(folder + "/one.tif", 1, pages::PageResolution::kFine, pages::PageStyle::kText);
    queue_folder = folder + "/queue";
    fs::create_directories(queue_folder);
    if (postgres) {
      if (std::system(fmt::format("{} start", PgNet()).c_str()) != 0) std::abort();
      url = PgUrl();
      PgExec(url, "SET client_min_messages = warning; DROP TABLE IF EXISTS attempts, received, jobs, qvfax_schema");
    }
  }
  ~Scratch() {
    for (pid_t pid : daemons) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
    if (!url.empty()) std::system(fmt::format("{} stop", PgNet()).c_str());
    fs::remove_all(folder);
  }
  std::unique_ptr<queue::JobStore> Store() const {
    if (url.empty()) return queue::OpenSqliteStore(queue_folder + "/jobs.sqlite");
    return queue::OpenPostgresStore(url);
  }
  // Host `name` with `lines` lines on socket `folder`/`name`.sock, sharing the queue.
  std::string StartHost(const std::string& name, int lines) {
    const std::string config = fmt::format("{}/{}.json", folder, name);
    std::string list;
    for (int i = 0; i < lines; ++i) list += fmt::format("{}{{\"name\": \"{}{}\"}}", i ? ", " : "", name, i);
    std::ofstream(config) << fmt::format(R"({{"lines": [{}]}})", list);
    const std::string socket = fmt::format("{}/{}.sock", folder, name);
    std::vector<std::string> extra = {"--engine-config", config, "--queue-folder", queue_folder, "--host-name", name};
    if (!url.empty()) extra.insert(extra.end(), {"--queue-db", url});
    daemons.push_back(bench::StartLineDaemon(socket, extra));
    return socket;
  }
  std::string folder, document, queue_folder, url;
  std::vector<pid_t> daemons;
};

int64_t TomorrowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             (std::chrono::system_clock::now() + std::chrono::hours(24)).time_since_epoch())
      .count();
}

// 2^17 = 131,072 jobs not yet due, doubled in the database itself: a job a
// transaction would take minutes.
void Fill(const Scratch& scratch) {
  queue::Job job;
  job.request.number = "0612345678";
  job.request.files = {scratch.document};
  job.request.pages = 1;
  job.next_try_ms = TomorrowMs();
  scratch.Store()->Add(job);
  const char* copy =
      "INSERT INTO jobs (state, request, submitted, next_try, ended, attempts, pages_sent, outcome, reason, port)"
      " SELECT state, request, submitted, next_try, ended, attempts, pages_sent, outcome, reason, port FROM jobs";
  if (!scratch.url.empty()) {
    for (int i = 0; i < 17; ++i) PgExec(scratch.url, copy);
    PgExec(scratch.url, "ANALYZE jobs");
    return;
  }
  sqlite3* db = nullptr;
  sqlite3_open((scratch.queue_folder + "/jobs.sqlite").c_str(), &db);
  for (int i = 0; i < 17; ++i) sqlite3_exec(db, copy, nullptr, nullptr, nullptr);
  sqlite3_close(db);
}

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[static_cast<size_t>(p * static_cast<double>(v.size() - 1))];
}

// Arg 0: SQLite; 1: PostgreSQL.
void BM_SubmitAndPageWith131072Queued(benchmark::State& state) {
  Scratch scratch(state.range(0) == 1);
  Fill(scratch);
  // The store's own share of a submit, before the daemon holds it.
  std::vector<double> adds;
  {
    auto store = scratch.Store();
    queue::Job job;
    job.request.number = "0612345678";
    job.request.files = {scratch.document};
    job.next_try_ms = TomorrowMs();
    for (int i = 0; i < 100; ++i) {
      const auto t = Clock::now();
      store->Add(job);
      adds.push_back(Ms(Clock::now() - t));
    }
  }
  const std::string socket = scratch.StartHost("h", 2);
  rpc::Client client(rpc::ConnectUnixSocket(socket));
  std::vector<double> submits, pages;
  int64_t after = 0;
  size_t listed = 0;
  for (auto _ : state) {
    auto t = Clock::now();
    client.Call("submit", {{"number", "0612345678"}, {"files", {scratch.document}}, {"at", TomorrowMs()}});
    submits.push_back(Ms(Clock::now() - t));
    t = Clock::now();
    const auto page = client.Call("jobs", {{"after", after}, {"limit", 100}});
    pages.push_back(Ms(Clock::now() - t));
    listed += page.size();
    after = page.empty() ? 0 : page.back().value("job", int64_t{0}) + 1000;  // pages across the whole queue
  }
  if (listed == 0) state.SkipWithError("no job listed");
  state.counters["store_add_median_ms"] = Percentile(adds, 0.5);
  state.counters["submit_median_ms"] = Percentile(submits, 0.5);
  state.counters["submit_p95_ms"] = Percentile(submits, 0.95);
  state.counters["page_median_ms"] = Percentile(pages, 0.5);
  state.counters["page_p95_ms"] = Percentile(pages, 0.95);
}
BENCHMARK(BM_SubmitAndPageWith131072Queued)->Arg(0)->Arg(1)->Iterations(100)->UseRealTime()->Unit(benchmark::kMillisecond);

// Arg: hosts, each with 8 lines, sharing one queue in PostgreSQL.
void BM_HostsFinishAThousandJobs(benchmark::State& state) {
  constexpr int kJobs = 1000;
  double jobs_per_second = 0;
  for (auto _ : state) {
    Scratch scratch(true);
    {
      auto store = scratch.Store();
      for (int i = 0; i < kJobs; ++i) {
        queue::Job job;
        job.request.number = fmt::format("06{:08}", i);
        // Each job's document is removed when it ends: a copy each.
        const std::string copy = fmt::format("{}/doc-{}.tif", scratch.queue_folder, i);
        fs::copy_file(scratch.document, copy);
        job.request.files = {copy};
        job.request.pages = 1;
        store->Add(job);
      }
    }
    const auto start = Clock::now();
    for (int h = 0; h < state.range(0); ++h) scratch.StartHost(fmt::format("h{}", h), 8);
    auto store = scratch.Store();
    // Bounded: ten minutes.
    while (store->History(kJobs + 1).size() < static_cast<size_t>(kJobs) && Clock::now() - start < std::chrono::minutes(10)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const auto history = store->History(kJobs + 1);
    const auto done = std::count_if(history.begin(), history.end(),
                                    [](const queue::Job& j) { return j.state == queue::JobState::kDone; });
    if (done != kJobs) state.SkipWithError(fmt::format("{} of {} jobs delivered", done, kJobs).c_str());
    jobs_per_second = kJobs / std::chrono::duration<double>(Clock::now() - start).count();
  }
  state.counters["jobs_per_second"] = jobs_per_second;
}
BENCHMARK(BM_HostsFinishAThousandJobs)->Arg(1)->Arg(3)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qvfax

BENCHMARK_MAIN();
