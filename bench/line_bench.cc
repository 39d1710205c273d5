// A 20-page fine A4 fax of letter-like pages through the line engine's
// software line: how much faster than real time, CPU per page, peak memory.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include <benchmark/benchmark.h>

#include "cpu_time.h"

#include "engines/line/t30_line.h"
#include "engines/pages/sample_tiff.h"

namespace qvfax {
namespace {

using bench::CpuSeconds;

void BM_TwentyPageFineFax(benchmark::State& state) {
  const auto folder = std::filesystem::temp_directory_path() / ("qvfax-line-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const std::string document = pages::MakeFaxTiff((folder / "twenty.tif").string(), 20, pages::PageResolution::kFine,
                                                   pages::PageStyle::kText);
  int64_t line_ms = 0;
  double cpu = 0;
  int pages = 0;
  for (auto _ : state) {
    line::CallSetup setup;
    setup.ours = {"QVFAX BENCH", static_cast<bool>(state.range(0)), true, 7};
    setup.remote = {"REMOTE", static_cast<bool>(state.range(0)), true, 7};
    setup.tx_file = document;
    setup.rx_file = (folder / "received.tif").string();
    const double cpu_before = CpuSeconds();
    line::T30Line call(setup);
    while (call.Active()) call.Step(500);
    cpu += CpuSeconds() - cpu_before;
    line_ms += call.LineMs();
    pages += call.Pages();
  }
  const double runs = static_cast<double>(state.iterations());
  state.counters["line_seconds"] = static_cast<double>(line_ms) / 1000.0 / runs;
  state.counters["times_real_time"] = static_cast<double>(line_ms) / 1000.0 / cpu;
  state.counters["cpu_ms_per_page"] = cpu * 1000.0 / static_cast<double>(pages);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_TwentyPageFineFax)->Arg(0)->Arg(1)->Iterations(2)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qvfax

BENCHMARK_MAIN();
