// The daemon's costs: a property get round trip over the socket, and 32
// clients each sending a 3-page fax at once: the daemon's CPU time per fax
// and its peak resident memory.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <benchmark/benchmark.h>

#include "daemon/unix_listener.h"
#include "line_daemon.h"
#include "engines/pages/sample_tiff.h"
#include "engines/sim/sim_bank.h"
#include "rpc/broker.h"
#include "rpc/client.h"

namespace qvfax {
namespace {

std::string TempFolder() {
  std::string base = (std::filesystem::temp_directory_path() / "qvfax-bench-XXXXXX").string();
  if (!mkdtemp(base.data())) std::abort();
  setenv("XDG_STATE_HOME", (base + "/state").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (base + "/config").c_str(), 1);
  return base;
}

void BM_PropertyGetRoundTrip(benchmark::State& state) {
  const std::string folder = TempFolder();
  const std::string socket = folder + "/qvfaxd.sock";
  rpc::Broker broker({[](ComponentRegistry& r) { sim::RegisterSimEngine(r, sim::DefaultConfig()); }});
  asio::io_context io;
  daemon::UnixListener listener(io, broker, socket);
  listener.Start();
  std::thread loop([&] { io.run(); });
  {
    rpc::Client client(rpc::ConnectUnixSocket(socket));
    const int64_t server = client.Create("QvVavUvaRazUr");
    for (auto _ : state) benchmark::DoNotOptimize(client.Get(server, "PagineDaTrasmettere"));
    client.Release(server);
  }
  // Stopped on the loop's own thread, as the daemon stops on a signal: the
  // listener and the broker must not be torn down under a running handler.
  asio::post(io, [&] {
    listener.Stop();
    broker.Shutdown();
    io.stop();
  });
  loop.join();
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_PropertyGetRoundTrip)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);

struct ProcessUsage {
  double cpu_seconds = 0;
  long peak_kib = 0;
};

ProcessUsage Usage(pid_t pid) {
  ProcessUsage usage;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), {});
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string skip;
  for (int i = 0; i < 11; ++i) fields >> skip;  // fields 3..13
  long utime = 0, stime = 0;
  fields >> utime >> stime;
  usage.cpu_seconds = static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string key;
  while (status >> key) {
    if (key == "VmHWM:") status >> usage.peak_kib;
    status.ignore(1 << 16, '\n');
  }
  return usage;
}

void SendOneFax(const std::string& socket, const std::string& file) {
  rpc::Client client(rpc::ConnectUnixSocket(socket));
  int activity = -1;
  bool ended = false;
  client.on_request = [&](const std::string& method, const rpc::json& params) -> rpc::json {
    if (method == "AttivitaCambiata") activity = params.value("Codice", -1);
    if (method == "FineInvio") ended = true;
    return nullptr;
  };
  const int64_t server = client.Create("QvVavUvaRazUr");
  client.Call("set", {{"handle", server}, {"member", "BkgFaxVmEventi"}, {"value", {{"client", true}}}});
  client.Invoke(server, "RilevaModem");
  const int64_t modems = client.GetObject(server, "InfoModems");
  while (client.Get(modems, "Count") == 0) client.Pump(std::chrono::milliseconds(20));
  client.Invoke(server, "SelezionaFaxModem");
  activity = -1;
  client.Invoke(server, "ApriPorta");
  while (activity != 0) client.Pump(std::chrono::milliseconds(20));
  client.Let(server, "NumeroFax", "0612345678");
  client.Let(server, "FilesTif", file);
  client.Invoke(server, "Invia");
  while (!ended || activity != 0) client.Pump(std::chrono::milliseconds(20));
  client.Release(server);
}

void BM_ThirtyTwoClientsSendAtOnce(benchmark::State& state) {
  const std::string folder = TempFolder();
  const std::string socket = folder + "/qvfaxd.sock";
  const int pages = static_cast<int>(state.range(0));
  const std::string file = pages::MakeFaxTiff(folder + "/pages.tif", pages);
  // The default engine: real T.30 sessions, as fast as the processor allows.
  const pid_t pid = bench::StartLineDaemon(socket);
  constexpr int kClients = 32;
  for (auto _ : state) {
    const ProcessUsage before = Usage(pid);
    std::vector<std::thread> clients;
    for (int i = 0; i < kClients; ++i) clients.emplace_back([&] { SendOneFax(socket, file); });
    for (auto& t : clients) t.join();
    const ProcessUsage after = Usage(pid);
    state.counters["daemon_cpu_ms_per_fax"] = (after.cpu_seconds - before.cpu_seconds) * 1000.0 / kClients;
    state.counters["daemon_peak_MiB"] = static_cast<double>(after.peak_kib) / 1024.0;
  }
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_ThirtyTwoClientsSendAtOnce)->Arg(3)->Arg(20)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qvfax

BENCHMARK_MAIN();
