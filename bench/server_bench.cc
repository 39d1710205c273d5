// Costs of the server object's hot paths: a published activity change, a log
// line with a long accumulated log, construction and destruction, and the
// resident memory of a live server object.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "components/events_sink.h"
#include "components/standins.h"
#include "components/xarraydb.h"
#include "platform/apartment.h"
#include "platform/manual_clock.h"
#include "recording_fax_control.h"
#include "recording_fax_manager.h"
#include "server/control_host.h"
#include "server/qv_vav_uva_raz_ur.h"
#include "values/coded_values.h"

namespace qvfax {
namespace {

class QuietSink : public BkgFaxVmEventi {
 public:
  void AttivitaCambiata(QvBkgFaxVmAttivita&) override {}
  void InizioInvio() override {}
  void FineInvio() override {}
};

// An apartment on this thread with the real stand-ins writing to a scratch folder.
struct BenchApartment {
  BenchApartment() {
    base = std::filesystem::temp_directory_path() / ("qvfax-bench-" + std::to_string(::getpid()));
    // Publications go to the real runtime folder, as in production.
    for (const char* var : {"XDG_CONFIG_HOME", "XDG_STATE_HOME"}) {
      std::filesystem::create_directories(base / var);
      setenv(var, (base / var).c_str(), 1);
    }
    context.clock = std::make_shared<ManualClock>();
    context.registry = std::make_shared<ComponentRegistry>();
    RegisterStandIns(*context.registry);
    context.registry->Register<FaxControl>(kFaxControlClass,
                                           [] { return std::make_shared<testing::RecordingFaxControl>(); });
    context.registry->Register<FaxManager>(kFaxManagerLibrary,
                                           [] { return std::make_shared<testing::RecordingFaxManager>(); });
    scope = std::make_unique<ApartmentScope>(context);
  }
  ~BenchApartment() {
    scope.reset();
    std::error_code ec;
    std::filesystem::remove_all(base, ec);
  }
  std::filesystem::path base;
  ApartmentContext context;
  std::unique_ptr<ApartmentScope> scope;
};

void BM_PublishedActivityChange(benchmark::State& state) {
  BenchApartment apartment;
  QvVavUvaRazUr server;
  server.BkgFaxVmEventi(std::make_shared<QuietSink>());
  int32_t code = 0;
  for (auto _ : state) {
    server.Attivita()->ImpostaCodice(code);
    code = (code + 1) % 7;
  }
}
BENCHMARK(BM_PublishedActivityChange)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);

void FillLog(QvVavUvaRazUr& server, int lines) {
  server.AzzeraTestoLog();
  server.XArrayDBLog()->ReDim(-1, -1, 0, 1);
  for (int i = 0; i < lines; ++i) {
    server.ScriviLog("Parametro di invio Risoluzione = 3 - Alta (204 x 196 dpi)");
  }
}

void BM_ScriviLogAfter1000Lines(benchmark::State& state) {
  BenchApartment apartment;
  QvVavUvaRazUr server;
  server.PercorsoLog((apartment.base / "log").string());
  server.BkgFaxVmEventi(std::make_shared<QuietSink>());
  server.Inizializza();
  FillLog(server, 1000);
  int written = 0;
  for (auto _ : state) {
    server.ScriviLog("Page Number: 3");
    if (++written == 50) {
      state.PauseTiming();
      FillLog(server, 1000);
      written = 0;
      state.ResumeTiming();
    }
  }
}
BENCHMARK(BM_ScriviLogAfter1000Lines)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);

void BM_ConstructAndDestroy(benchmark::State& state) {
  BenchApartment apartment;
  for (auto _ : state) {
    auto server = std::make_unique<QvVavUvaRazUr>();
    benchmark::DoNotOptimize(server.get());
  }
}
BENCHMARK(BM_ConstructAndDestroy)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);

long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      long kib = 0;
      status >> kib;
      return kib;
    }
    status.ignore(1 << 16, '\n');
  }
  return 0;
}

void BM_ResidentMemoryPerServer(benchmark::State& state) {
  BenchApartment apartment;
  constexpr int kServers = 200;
  for (auto _ : state) {
    std::vector<std::unique_ptr<QvVavUvaRazUr>> servers;
    const long before = ResidentKiB();
    for (int i = 0; i < kServers; ++i) {
      servers.push_back(std::make_unique<QvVavUvaRazUr>());
      servers.back()->BkgFaxVmEventi(std::make_shared<QuietSink>());
      servers.back()->ScriviLog("Server pronto");
    }
    const long after = ResidentKiB();
    state.counters["KiB_per_server"] = static_cast<double>(after - before) / kServers;
  }
}
BENCHMARK(BM_ResidentMemoryPerServer)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qvfax

BENCHMARK_MAIN();
