// Many fax calls at once over SIP, in real time, through the test network's
// Kamailio: one user agent calls from account fax1 on N channels, another
// answers as fax2, every page checked equal. Run by hand:
//
//   bench_sip_calls [--g711 200] [--t38 500] [--pages 1] [--one-call-pages 3]
//
// Prints, for each transport, the calls that delivered equal pages, the most
// calls up at once, and the CPU one end of a call takes as a share of a core;
// then the length of one call of --one-call-pages pages over T.38, paced as
// for a gateway and unpaced as between two terminals. The concurrent T.38
// calls are paced, as calls to gateways are: unpaced, they would be over
// before many were up at once. The test
// network is started (and stopped) here; QVFAX_SIPNET and QVFAX_SIPNET_PORT
// put it beside another one.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include "cpu_time.h"
#include "engines/pages/bitmap_page.h"
#include "engines/pages/sample_tiff.h"
#include "engines/sip/sip_agent.h"
#include "engines/sip/sip_call.h"

namespace qvfax::sip {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The test network's folder and port, as scripts/sipnet takes them.
std::string NetFolder() {
  const char* folder = std::getenv("QVFAX_SIPNET");
  return folder ? folder : "/tmp/qvfax-sipnet";
}
std::string NetPort() {
  const char* port = std::getenv("QVFAX_SIPNET_PORT");
  return port ? port : "35060";
}

std::string Secret(const std::string& account) {
  std::ifstream in(NetFolder() + "/" + account + ".secret");
  std::string secret;
  std::getline(in, secret);
  return secret;
}

SipConfig Side(const std::string& user, int channels, int sip_port, int rtp_first, bool answers, T38Use t38,
               bool paced) {
  SipAccount a;
  a.name = user;
  a.user = user;
  a.domain = "qvfax.test";
  a.registrar = "sip:127.0.0.1:" + NetPort();
  a.auth_user = user;
  a.password = Secret(user);
  a.channels = channels;
  a.t38 = t38;
  a.t38_always_paced = paced;
  a.sends = !answers;
  a.answers = answers;
  SipConfig config;
  config.accounts = {a};
  config.listen_host = "127.0.0.1";
  config.listen_port = sip_port;
  config.rtp_first = rtp_first;
  config.rtp_last = rtp_first + 2 * channels + 99;
  config.options_interval_s = 0;
  return config;
}

SipCallSetup CallSetup(const SipConfig& config, bool calling) {
  SipCallSetup setup;
  setup.fax.calling = calling;
  setup.fax.terminal.ident = calling ? "BENCH CALLER" : "BENCH ANSWER";
  setup.settings = config.accounts.front();
  setup.media_host = config.listen_host;
  setup.advertised = config.listen_host;
  setup.rtp_first = config.rtp_first;
  setup.rtp_last = config.rtp_last;
  setup.answer_timeout_ms = 120000;
  return setup;
}

bool SamePages(const std::string& sent, const std::string& received, int pages) {
  for (int p = 1; p <= pages; ++p) {
    pages::BitmapPage a, b;
    if (pages::ReadBitmapPage(sent, p, a) != 0 || pages::ReadBitmapPage(received, p, b) != 0) return false;
    if (a.width != b.width || a.rows != b.rows || a.bits != b.bits) return false;
  }
  return true;
}

struct Result {
  std::map<std::string, int> failures;  // how the calls that failed ended, at either end
  int calls = 0, equal = 0, most_at_once = 0;
  double seconds = 0, cpu = 0, call_seconds = 0;  // call_seconds: summed over the calls
};

// `calls` calls of `pages` pages, started a few a second so they overlap.
Result Run(int calls, int pages, T38Use t38, bool paced, const fs::path& folder) {
  const std::string document = pages::MakeFaxTiff((folder / fmt::format("sent-{}.tif", pages)).string(), pages,
                                                  pages::PageResolution::kFine, pages::PageStyle::kLetter);
  const auto caller_config = Side("fax1", calls, 35201, 20000, false, t38, paced);
  const auto answer_config = Side("fax2", calls, 35202, 22000, true, t38, paced);
  auto caller = std::make_shared<SipAgent>(caller_config, nullptr);
  auto answerer = std::make_shared<SipAgent>(answer_config, nullptr);
  caller->Register();
  answerer->Register();
  if (caller->AwaitRegistration(0, 20000).state != Registration::kRegistered ||
      answerer->AwaitRegistration(0, 20000).state != Registration::kRegistered) {
    throw std::runtime_error("the accounts did not register: is scripts/sipnet/sipnet started?");
  }
  std::vector<std::shared_ptr<Ringer>> ringers;
  for (int i = 0; i < calls; ++i) {
    ringers.push_back(std::make_shared<Ringer>());
    answerer->Listen(ringers.back());
  }
  struct Leg {
    std::unique_ptr<SipCall> call;
    std::string received;
    bool done = false, delivered = false;
    Clock::time_point began;
  };
  std::vector<Leg> sending(static_cast<size_t>(calls)), answering;
  Result result;
  result.calls = calls;
  const double cpu_before = bench::CpuSeconds();
  const auto start = Clock::now();
  auto last = start;
  int started = 0, finished = 0, answered_done = 0;
  while (finished < calls || answered_done < static_cast<int>(answering.size())) {
    const auto now = Clock::now();
    const int elapsed = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(now - last).count());
    last = now;
    // Twenty calls placed a second.
    while (started < calls && now - start >= std::chrono::milliseconds(50 * started)) {
      auto setup = CallSetup(caller_config, true);
      setup.fax.document = document;
      setup.number = "fax2";
      sending[static_cast<size_t>(started)].call = std::make_unique<SipCall>(caller, setup);
      sending[static_cast<size_t>(started)].began = now;
      ++started;
    }
    for (auto& ringer : ringers) {
      for (const auto& event : ringer->events.Take()) {
        if (event.kind != CallEvent::kIncoming) continue;
        Leg leg;
        leg.received = (folder / fmt::format("received-{}.tif", answering.size())).string();
        auto setup = CallSetup(answer_config, false);
        setup.fax.received = leg.received;
        leg.call = std::make_unique<SipCall>(answerer, setup, event);
        answering.push_back(std::move(leg));
      }
    }
    int up = 0;
    for (auto* legs : {&sending, &answering}) {
      for (auto& leg : *legs) {
        if (!leg.call || leg.done) continue;
        ++up;
        for (const auto& event : leg.call->Poll(elapsed)) {
          if (event.kind != SipCallEvent::kFinished) continue;
          leg.done = true;
          leg.delivered = event.status == 0 && event.page == pages;
          if (!leg.delivered && std::getenv("QVFAX_TRACE_FAILURES")) {
            for (const auto& line : leg.call->Trace()) std::cerr << (legs == &sending ? "caller " : "answerer ") << line << "\n";
          }
          if (!leg.delivered) ++result.failures[fmt::format("{} {} ({} pages)", legs == &sending ? "caller" : "answerer",
                                                            event.detail, event.page)];
          if (legs == &sending) {
            ++finished;
            result.call_seconds += std::chrono::duration<double>(Clock::now() - leg.began).count();
          } else {
            ++answered_done;
          }
        }
      }
    }
    result.most_at_once = std::max(result.most_at_once, up / 2);
    if (now - start > std::chrono::minutes(15)) break;  // bounded, whatever happens
    std::this_thread::sleep_until(now + std::chrono::milliseconds(20));
  }
  result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  result.cpu = bench::CpuSeconds() - cpu_before;
  int sent_ok = 0;
  for (const auto& leg : sending) sent_ok += leg.delivered ? 1 : 0;
  for (const auto& leg : answering) {
    if (leg.delivered && SamePages(document, leg.received, pages)) ++result.equal;
  }
  result.equal = std::min(result.equal, sent_ok);  // both ends must say so
  for (auto& ringer : ringers) answerer->StopListening(ringer);
  return result;
}

void Print(const char* name, const Result& r, int pages) {
  const double per_call = r.calls ? r.call_seconds / r.calls : 0;
  // Two ends of every call ran in this process.
  const double cpu_per_end = r.call_seconds > 0 ? r.cpu / (2.0 * r.call_seconds) * 100.0 : 0;
  std::cout << fmt::format(
      "{:12} {:4} calls of {} page(s): {:4} equal ({:.3f}), {:4} at once at most, {:.1f} s a call, "
      "{:.1f} s in all, CPU per end {:.3f} % of a core\n",
      name, r.calls, pages, r.equal, r.calls ? static_cast<double>(r.equal) / r.calls : 0.0, r.most_at_once, per_call,
      r.seconds, cpu_per_end);
  for (const auto& [how, count] : r.failures) std::cout << fmt::format("       {:4} x {}\n", count, how);
}

}  // namespace
}  // namespace qvfax::sip

int main(int argc, char** argv) {
  using namespace qvfax::sip;
  CLI::App app("Concurrent fax calls over SIP through the test network");
  int g711 = 200, t38 = 500, pages = 1, one_call_pages = 3;
  app.add_option("--g711", g711, "G.711 calls at once (0: none)");
  app.add_option("--t38", t38, "T.38 calls at once (0: none)");
  app.add_option("--pages", pages, "Pages of each call");
  app.add_option("--one-call-pages", one_call_pages, "Pages of the single T.38 call timed at the end (0: none)");
  CLI11_PARSE(app, argc, argv);
  // Each call holds a media socket and a mailbox at each end.
  rlimit files{};
  getrlimit(RLIMIT_NOFILE, &files);
  files.rlim_cur = files.rlim_max;
  setrlimit(RLIMIT_NOFILE, &files);
  if (std::system("bash " QVFAX_SOURCE_DIR "/scripts/sipnet/sipnet start") != 0) return 1;
  const auto folder = std::filesystem::temp_directory_path() / fmt::format("qvfax-sip-calls-{}", ::getpid());
  std::filesystem::create_directories(folder);
  int status = 0;
  try {
    if (g711 > 0) Print("G.711", Run(g711, pages, T38Use::kOff, true, folder), pages);
    if (t38 > 0) Print("T.38 paced", Run(t38, pages, T38Use::kOn, true, folder), pages);
    if (one_call_pages > 0) {
      Print("T.38 paced", Run(1, one_call_pages, T38Use::kOn, true, folder), one_call_pages);
      Print("T.38 unpaced", Run(1, one_call_pages, T38Use::kOn, false, folder), one_call_pages);
    }
  } catch (const std::exception& e) {
    std::cerr << "bench_sip_calls: " << e.what() << "\n";
    status = 1;
  }
  std::filesystem::remove_all(folder);
  std::system("bash " QVFAX_SOURCE_DIR "/scripts/sipnet/sipnet stop");
  return status;
}
