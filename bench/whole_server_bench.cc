// The whole server against the bare fax protocol: detect, open, send 20 fine
// pages and close through qvfaxd on the line engine at line speed 0, beside
// SpanDSP's own back-to-back T.30 loop on the same pages, built here from
// its public API, in the same run. The call inside the server (the send
// timer's tick to the engine's end of the call, read from the live log)
// should take no more than 1/0.9 of the loop; the sink hears of the end at
// the next tick of the once-a-second end timer, and Invia to idle adds the
// object model's other timers.
#include <signal.h>
#include <spandsp.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include <benchmark/benchmark.h>

#include "engines/pages/sample_tiff.h"
#include "client_send.h"
#include "line_daemon.h"
#include "rpc/client.h"

extern char** environ;

namespace qvfax {
namespace {

using bench::Clock;
using bench::Ms;

// Two SpanDSP fax terminals joined back to back, as the line engine joins
// them: V.17, ECM, T.6; returns the pages the answerer received.
int RawLoop(const std::string& tx_file, const std::string& rx_file) {
  fax_state_t* caller = fax_init(nullptr, 1);
  fax_state_t* answerer = fax_init(nullptr, 0);
  bool done[2] = {false, false};
  for (fax_state_t* fax : {caller, answerer}) {
    t30_state_t* t = fax_get_t30_state(fax);
    fax_set_transmit_on_idle(fax, 1);
    t30_set_supported_modems(t, T30_SUPPORT_V27TER | T30_SUPPORT_V29 | T30_SUPPORT_V17);
    t30_set_ecm_capability(t, 1);
    t30_set_supported_compressions(t, T30_SUPPORT_T4_1D_COMPRESSION | T30_SUPPORT_T4_2D_COMPRESSION |
                                          T30_SUPPORT_T6_COMPRESSION);
    t30_set_phase_e_handler(t, [](t30_state_t*, void* user, int) { *static_cast<bool*>(user) = true; },
                            fax == caller ? &done[0] : &done[1]);
  }
  t30_set_tx_file(fax_get_t30_state(caller), tx_file.c_str(), -1, -1);
  t30_set_rx_file(fax_get_t30_state(answerer), rx_file.c_str(), -1);
  int16_t a[160], b[160];
  for (long blocks = 0; !(done[0] && done[1]) && blocks < 30 * 60 * 50; ++blocks) {
    const int na = fax_tx(caller, a, 160), nb = fax_tx(answerer, b, 160);
    if (na < 160) std::memset(a + na, 0, sizeof(int16_t) * (160 - na));
    if (nb < 160) std::memset(b + nb, 0, sizeof(int16_t) * (160 - nb));
    fax_rx(answerer, a, 160);
    fax_rx(caller, b, 160);
  }
  t30_stats_t stats;
  t30_get_transfer_statistics(fax_get_t30_state(answerer), &stats);
  fax_free(caller);
  fax_free(answerer);
  return stats.pages_rx;
}

void BM_WholeServerBesideTheRawLoop(benchmark::State& state) {
  std::string folder = (std::filesystem::temp_directory_path() / "qvfax-whole-XXXXXX").string();
  if (!mkdtemp(folder.data())) std::abort();
  setenv("XDG_STATE_HOME", (folder + "/state").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
  setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
  const std::string file = pages::MakeFaxTiff(folder + "/twenty.tif", 20, pages::PageResolution::kFine,
                                              pages::PageStyle::kLetter);
  const std::string socket = folder + "/qvfaxd.sock";
  const pid_t daemon = bench::StartLineDaemon(socket);
  double raw_ms = 0, call_ms = 0, transmission_ms = 0, invia_ms = 0, total_ms = 0;
  for (auto _ : state) {
    const auto raw_start = Clock::now();
    const int raw_pages = RawLoop(file, folder + "/raw-received.tif");
    raw_ms += Ms(Clock::now() - raw_start);
    const bench::ServerTimes server = bench::SendThroughServer(socket, file);
    if (raw_pages != 20 || server.pages != 20) state.SkipWithError("not every page went through");
    call_ms += server.call_ms;
    transmission_ms += server.transmission_ms;
    invia_ms += server.send_command_ms;
    total_ms += server.total_ms;
  }
  const double runs = static_cast<double>(state.iterations());
  state.counters["raw_loop_ms"] = raw_ms / runs;
  state.counters["server_call_ms"] = call_ms / runs;
  state.counters["server_transmission_ms"] = transmission_ms / runs;
  state.counters["server_invia_ms"] = invia_ms / runs;
  state.counters["server_total_ms"] = total_ms / runs;
  state.counters["speed_vs_raw_pct"] = 100.0 * raw_ms / call_ms;
  kill(daemon, SIGTERM);
  waitpid(daemon, nullptr, 0);
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_WholeServerBesideTheRawLoop)->Iterations(6)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qvfax

BENCHMARK_MAIN();
