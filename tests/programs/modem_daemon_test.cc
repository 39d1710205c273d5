// qvfaxd on the modem engine, against a scripted Class 1 modem on a pty: a
// daemon told to stop in the middle of a page hangs the line up before it
// lets the port go. Real time: the daemon paces the page as it would on a line.
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "daemon_process.h"
#include "engines/modem/uucp_lock.h"
#include "rpc/client.h"
#include "scripted_modem.h"
#include "tiff_maker.h"

namespace qvfax::testing {
namespace {

namespace fs = std::filesystem;
using modem::testing::kCfr;
using modem::testing::kMcf;
using modem::testing::Received;

// Pumps the scripted modem on a thread of its own until the test is done with
// it, even when an assertion leaves the test early.
class AnsweringThread {
 public:
  explicit AnsweringThread(modem::testing::ScriptedModem& modem) : modem_(modem), thread_([this] { Run(); }) {}
  ~AnsweringThread() { Stop(); }
  void Stop() {
    done_ = true;
    if (thread_.joinable()) thread_.join();
  }
  bool PageStarted() const { return page_started_; }

 private:
  void Run() {
    while (!done_) {
      modem_.Pump();
      if (modem_.Count("AT+FTM=146") > 0) page_started_ = true;
    }
  }
  modem::testing::ScriptedModem& modem_;
  std::atomic<bool> done_{false}, page_started_{false};
  std::thread thread_;
};

TEST(QvfaxdOnAModem, SigtermMidPageHangsUpBeforeThePortIsLetGo) {
  modem::testing::ScriptedModem modem;
  modem.threaded = true;
  modem.on_frh = [&](int n) { return Received(n == 0 ? kCfr : kMcf); };
  AnsweringThread answering(modem);

  const fs::path folder = ScratchPath("modem-daemon");
  fs::remove_all(folder);
  fs::create_directories(folder / "locks");
  const std::string config = (folder / "modems.json").string();
  // The scripted modem answers at once; a loaded machine may still be slow to run it.
  std::ofstream(config) << fmt::format(
      R"({{"ports": [{{"device": "{}", "name": "m0", "flow": "none", "dial_tone": "none"}}],
          "lock_folder": "{}", "spool": "{}", "command_timeout_ms": 60000}})",
      modem.Device(), (folder / "locks").string(), (folder / "spool").string());
  DaemonProcess daemon(0, {"--engine", "modem", "--engine-config", config, "--no-queue"});
  const std::string pages = MakeFaxTiff((folder / "fax.tif").string(), 2);

  {
    rpc::Client client(rpc::ConnectUnixSocket(daemon.socket()));
    int32_t activity = -1;
    client.on_request = [&](const std::string& method, const rpc::json& params) -> rpc::json {
      if (method == "AttivitaCambiata") activity = params.value("Codice", -1);
      return nullptr;
    };
    const auto wait_until = [&](const std::function<bool()>& event) {
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(3);
      while (!event() && std::chrono::steady_clock::now() < deadline) client.Pump(std::chrono::milliseconds(100));
      return event();
    };
    const int64_t server = client.Create("QvVavUvaRazUr");
    client.Call("set", {{"handle", server}, {"member", "BkgFaxVmEventi"}, {"value", {{"client", true}}}});
    client.Invoke(server, "Inizializza");
    const auto run = [&](const char* command) {
      activity = -1;
      client.Invoke(server, command);
      return wait_until([&] { return activity == 0; });
    };
    ASSERT_TRUE(run("RilevaModem")) << "detection did not end";
    ASSERT_EQ(client.Get(client.GetObject(server, "InfoModems"), "Count"), 1);
    client.Invoke(server, "SelezionaFaxModem");
    ASSERT_TRUE(run("ApriPorta")) << "opening did not end";
    ASSERT_EQ(client.Get(client.GetObject(server, "PortStatus"), "Codice"), 0);
    client.Let(server, "NumeroFax", "5550100");
    client.Let(server, "FilesTif", pages);
    activity = -1;
    client.Invoke(server, "Invia");
    ASSERT_TRUE(wait_until([&] { return answering.PageStarted() || activity == 0; })) << "the call never went on";
    ASSERT_TRUE(answering.PageStarted()) << "the fax ended before its page began";
    EXPECT_TRUE(fs::exists(modem::UucpLock::PathFor((folder / "locks").string(), modem.Device())));
    EXPECT_EQ(daemon.Stop(), 0);
  }
  answering.Stop();

  // A modem drops what it is sent while it still sends the page: the hang-up
  // counts only when it came after the data ended.
  const auto& seen = modem.Seen();
  const auto page_data = std::find_if(seen.rbegin(), seen.rend(), [](const std::string& s) { return s.rfind("data ", 0) == 0; });
  const auto hang_up = std::find(seen.rbegin(), seen.rend(), "ATH0");
  std::string tail;
  for (auto it = seen.rbegin(); it != seen.rend() && it - seen.rbegin() < 8; ++it) tail = *it + "\n" + tail;
  ASSERT_NE(hang_up, seen.rend()) << "the modem never heard ATH0; it last saw:\n" << tail;
  EXPECT_LT(hang_up - seen.rbegin(), page_data - seen.rbegin()) << "ATH0 after the data ended; the modem last saw:\n" << tail;
  EXPECT_FALSE(fs::exists(modem::UucpLock::PathFor((folder / "locks").string(), modem.Device())));
}

}  // namespace
}  // namespace qvfax::testing
