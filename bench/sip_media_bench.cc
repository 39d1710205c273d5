// The media of one fax call with no network cost: 3 fine letter pages from
// one end to the other over T.38 (UDPTL with copies) or G.711 audio, in
// simulated time. Prints the call's length and the CPU one end takes, as a
// share of one core while the call lasts: what bounds the calls a host carries.
#include <sys/resource.h>
#include <unistd.h>

#include <deque>
#include <filesystem>

#include <benchmark/benchmark.h>

#include "cpu_time.h"

#include "engines/pages/sample_tiff.h"
#include "engines/sip/g711_session.h"
#include "engines/sip/t38_session.h"

namespace qvfax::sip {
namespace {

using bench::CpuSeconds;

template <typename Session, typename Make>
void RunCalls(benchmark::State& state, Make make) {
  const auto folder = std::filesystem::temp_directory_path() / ("qvfax-sip-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const std::string document = pages::MakeFaxTiff((folder / "three.tif").string(), 3, pages::PageResolution::kFine,
                                                   pages::PageStyle::kLetter);
  double cpu = 0;
  int64_t call_ms = 0;
  int pages = 0;
  uint64_t datagrams = 0;
  for (auto _ : state) {
    std::deque<Bytes> forth, back;
    const double before = CpuSeconds();
    Session caller(make(FaxEndSetup{true, document, "", {"BENCH CALLER"}}), [&](const Bytes& d) {
      forth.push_back(d);
    });
    Session answerer(make(FaxEndSetup{false, "", (folder / "received.tif").string(), {"BENCH ANSWER"}}),
                     [&](const Bytes& d) { back.push_back(d); });
    int64_t now = 0;
    for (; now < 10 * 60 * 1000 && !(caller.Fax().Finished() && answerer.Fax().Finished()); now += 20) {
      datagrams += forth.size() + back.size();
      for (const auto& d : forth) answerer.Receive(reinterpret_cast<const uint8_t*>(d.data()), d.size());
      for (const auto& d : back) caller.Receive(reinterpret_cast<const uint8_t*>(d.data()), d.size());
      forth.clear();
      back.clear();
      caller.Advance(20);
      answerer.Advance(20);
    }
    cpu += CpuSeconds() - before;
    call_ms += now;
    pages += answerer.Fax().Pages();
  }
  const double runs = static_cast<double>(state.iterations());
  const double call_seconds = static_cast<double>(call_ms) / 1000.0;
  state.counters["call_seconds"] = call_seconds / runs;
  state.counters["pages"] = pages / runs;
  // Two ends ran: one end's share of a core for as long as its call lasts.
  state.counters["cpu_percent_per_end"] = cpu / 2.0 / call_seconds * 100.0;
  state.counters["datagrams_per_second"] = static_cast<double>(datagrams) / call_seconds;
  std::filesystem::remove_all(folder);
}

void BM_T38Call(benchmark::State& state) {
  RunCalls<T38Session>(state, [](const FaxEndSetup& fax) { return T38Setup{fax, T38Params{}}; });
}
BENCHMARK(BM_T38Call)->Iterations(3)->Unit(benchmark::kMillisecond);

// Both ends terminals: image data as fast as the sender lets it out.
void BM_T38CallUnpaced(benchmark::State& state) {
  RunCalls<T38Session>(state, [](const FaxEndSetup& fax) { return T38Setup{fax, T38Params{}, 3, false}; });
}
BENCHMARK(BM_T38CallUnpaced)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_G711Call(benchmark::State& state) {
  RunCalls<G711Session>(state, [](const FaxEndSetup& fax) { return G711Setup{fax}; });
}
BENCHMARK(BM_G711Call)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qvfax::sip

BENCHMARK_MAIN();
