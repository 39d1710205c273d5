// The fax queue of qvfaxd on the line engine at line speed 0:
// - with 10,000 jobs queued, how long `submit` (a one-page fax document
//   prepared and stored) and `jobs` (every job listed) take: the daemon's
//   answer as it arrives, and as rpc::Client has parsed it;
// - what the queue's runner adds to a fax beyond the object model's own
//   timers: the same fax sent by a client driving the object model, and
//   submitted and waited for.
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include <benchmark/benchmark.h>

#include "client_send.h"
#include "engines/pages/sample_tiff.h"
#include "line_daemon.h"
#include "queue/job_store.h"
#include "rpc/client.h"

namespace qvfax {
namespace {

using bench::Clock;
using bench::Ms;

struct Scratch {
  Scratch() {
    folder = (std::filesystem::temp_directory_path() / "qvfax-queue-bench-XXXXXX").string();
    if (!mkdtemp(folder.data())) std::abort();
    setenv("XDG_STATE_HOME", (folder + "/state").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    document = pages::MakeFaxTiff(folder + "/one.tif", 1, pages::PageResolution::kFine, pages::PageStyle::kLetter);
    socket = folder + "/qvfaxd.sock";
  }
  ~Scratch() {
    if (daemon > 0) {
      kill(daemon, SIGTERM);
      waitpid(daemon, nullptr, 0);
    }
    std::filesystem::remove_all(folder);
  }
  std::string folder, document, socket;
  pid_t daemon = -1;
};

// How long the daemon takes to answer `request` on a connection of its own:
// from the request sent to the last byte of the answer, not parsed.
double AnswerMs(const std::string& socket, const std::string& request) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socket.c_str());
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) std::abort();
  const auto start = Clock::now();
  const std::string line = request + "\n";
  if (::write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) std::abort();
  char buffer[65536];
  for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) {
    if (buffer[n - 1] == '\n') break;
  }
  const double ms = Ms(Clock::now() - start);
  ::close(fd);
  return ms;
}

int64_t TomorrowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             (std::chrono::system_clock::now() + std::chrono::hours(24)).time_since_epoch())
      .count();
}

void BM_SubmitAndListWithTenThousandQueued(benchmark::State& state) {
  Scratch scratch;
  const auto queue_folder = std::filesystem::path(scratch.folder) / "state" / "qvfax" / "queue";
  std::filesystem::create_directories(queue_folder);
  const auto fill_start = Clock::now();
  {
    auto store = queue::OpenSqliteStore((queue_folder / "jobs.sqlite").string());
    queue::Job job;
    job.request.number = "0612345678";
    job.request.files = {scratch.document};
    job.request.pages = 1;
    job.next_try_ms = TomorrowMs();
    for (int i = 0; i < 10'000; ++i) store->Add(job);
  }
  const double fill_ms = Ms(Clock::now() - fill_start);
  const auto start = Clock::now();
  scratch.daemon = bench::StartLineDaemon(scratch.socket);
  const double start_ms = Ms(Clock::now() - start);
  rpc::Client client(rpc::ConnectUnixSocket(scratch.socket));
  double submit_ms = 0, submit_max_ms = 0, jobs_ms = 0, jobs_answer_ms = 0;
  int submits = 0, lists = 0;
  size_t listed = 0;
  for (auto _ : state) {
    auto t = Clock::now();
    client.Call("submit", {{"number", "0612345678"}, {"files", {scratch.document}}, {"at", TomorrowMs()}});
    const double one = Ms(Clock::now() - t);
    submit_ms += one;
    submit_max_ms = std::max(submit_max_ms, one);
    ++submits;
    if (submits % 10 == 0) {
      t = Clock::now();
      jobs_answer_ms += AnswerMs(scratch.socket, R"({"jsonrpc":"2.0","id":1,"method":"jobs"})");
      t = Clock::now();
      listed = client.Call("jobs", rpc::json::object()).size();
      jobs_ms += Ms(Clock::now() - t);
      ++lists;
    }
  }
  if (listed < 10'000) state.SkipWithError("the queue lost jobs");
  state.counters["fill_10k_ms"] = fill_ms;
  state.counters["daemon_start_ms"] = start_ms;
  state.counters["submit_ms"] = submit_ms / submits;
  state.counters["submit_max_ms"] = submit_max_ms;
  state.counters["jobs_answer_ms"] = lists ? jobs_answer_ms / lists : 0;
  state.counters["jobs_parsed_ms"] = lists ? jobs_ms / lists : 0;
  state.counters["jobs_listed"] = static_cast<double>(listed);
}
BENCHMARK(BM_SubmitAndListWithTenThousandQueued)->Iterations(100)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_RunnerBesideAClient(benchmark::State& state) {
  Scratch scratch;
  scratch.daemon = bench::StartLineDaemon(scratch.socket);
  rpc::Client client(rpc::ConnectUnixSocket(scratch.socket));
  client.call_timeout = std::chrono::minutes(5);
  double client_ms = 0, queue_ms = 0;
  for (auto _ : state) {
    client_ms += bench::SendThroughServer(scratch.socket, scratch.document).total_ms;
    const auto t = Clock::now();
    const auto queued = client.Call("submit", {{"number", "0612345678"}, {"files", {scratch.document}}});
    const auto ended = client.Call("wait", {{"job", queued.at("job")}});
    queue_ms += Ms(Clock::now() - t);
    if (ended.value("outcome", "") != "delivered") state.SkipWithError("the queued fax was not delivered");
  }
  const double runs = static_cast<double>(state.iterations());
  state.counters["client_ms"] = client_ms / runs;
  state.counters["queue_ms"] = queue_ms / runs;
  state.counters["runner_overhead_ms"] = (queue_ms - client_ms) / runs;
}
BENCHMARK(BM_RunnerBesideAClient)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qvfax

BENCHMARK_MAIN();
