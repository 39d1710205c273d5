// Preparing documents: a text PDF of 20 pages at fine resolution (target: at
// most 2 s), the peak memory of preparing a 5-page and a 100-page PDF (the
// pages are streamed: the two must be alike), and a greyscale A4 scan.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "document_maker.h"
#include "documents/prepare.h"
#include "tiff_maker.h"

namespace {

using namespace qvfax;

std::string Folder(const std::string& name) {
  const std::string folder = testing::ScratchPath(name);
  std::filesystem::remove_all(folder);
  return folder;
}

void BM_PrepareTextPdf(benchmark::State& state) {
  const int pages = static_cast<int>(state.range(0));
  const std::string pdf = testing::WritePdf(testing::ScratchPath("bench-" + std::to_string(pages) + ".pdf"), pages);
  for (auto _ : state) {
    const auto prepared = documents::Prepare({pdf}, Folder("bench-prepared"), {});
    if (prepared.pages != pages) state.SkipWithError("wrong page count");
  }
  state.counters["pages"] = pages;
}
BENCHMARK(BM_PrepareTextPdf)->Arg(20)->Unit(benchmark::kMillisecond)->Iterations(3);

// Peak resident memory of qvfax's side and of Ghostscript's, measured in a
// child process so each size starts afresh.
void BM_PreparePdfPeakMemory(benchmark::State& state) {
  const int pages = static_cast<int>(state.range(0));
  const std::string pdf = testing::WritePdf(testing::ScratchPath("bench-mem-" + std::to_string(pages) + ".pdf"), pages);
  for (auto _ : state) {
    int fds[2];
    if (::pipe(fds) != 0) state.SkipWithError("pipe");
    const pid_t child = ::fork();
    if (child == 0) {
      ::close(fds[0]);
      documents::Prepare({pdf}, Folder("bench-mem"), {});
      rusage self{}, children{};
      ::getrusage(RUSAGE_SELF, &self);
      ::getrusage(RUSAGE_CHILDREN, &children);
      const long peaks[2] = {self.ru_maxrss, children.ru_maxrss};
      (void)!::write(fds[1], peaks, sizeof peaks);
      ::_exit(0);
    }
    ::close(fds[1]);
    long peaks[2] = {0, 0};
    (void)!::read(fds[0], peaks, sizeof peaks);
    ::close(fds[0]);
    ::waitpid(child, nullptr, 0);
    state.counters["qvfax_peak_MiB"] = peaks[0] / 1024.0;
    state.counters["gs_peak_MiB"] = peaks[1] / 1024.0;
  }
}
BENCHMARK(BM_PreparePdfPeakMemory)->Arg(5)->Arg(100)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_PrepareGreyScan(benchmark::State& state) {
  // An A4 page scanned at 300 dpi in grey: scaled, resampled and dithered.
  const std::string scan = testing::WriteImage(testing::ScratchPath("bench-scan.png"), 2480, 3508, 300, false);
  for (auto _ : state) documents::Prepare({scan}, Folder("bench-scan"), {});
}
BENCHMARK(BM_PrepareGreyScan)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
