// qvfaxd on the modem engine, against a scripted Class 1 modem on a pty: a
// daemon told to stop in the middle of a page hangs the line up before it
// lets the port go. Real time: the daemon paces the page as it would on a line.
#include <atomic>
#include <filesystem>
#include <fstream>
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

TEST(QvfaxdOnAModem, SigtermMidPageHangsUpBeforeThePortIsLetGo) {
  modem::testing::ScriptedModem modem;
  modem.threaded = true;
  modem.on_frh = [&](int n) { return Received(n == 0 ? kCfr : kMcf); };
  std::atomic<bool> page_started{false}, done{false};
  std::thread answering([&] {
    while (!done) {
      modem.Pump();
      if (modem.Count("AT+FTM=146") > 0) page_started = true;
    }
  });

  const fs::path folder = ScratchPath("modem-daemon");
  fs::remove_all(folder);
  fs::create_directories(folder / "locks");
  const std::string config = (folder / "modems.json").string();
  std::ofstream(config) << fmt::format(
      R"({{"ports": [{{"device": "{}", "name": "m0", "flow": "none", "dial_tone": "none"}}],
          "lock_folder": "{}", "spool": "{}", "command_timeout_ms": 2000}})",
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
    const int64_t server = client.Create("QvVavUvaRazUr");
    client.Call("set", {{"handle", server}, {"member", "BkgFaxVmEventi"}, {"value", {{"client", true}}}});
    client.Invoke(server, "Inizializza");
    auto run = [&](const char* command) {
      activity = -1;
      client.Invoke(server, command);
      for (int i = 0; i < 600 && activity != 0; ++i) client.Pump(std::chrono::milliseconds(100));
      ASSERT_EQ(activity, 0) << command << " did not end";
    };
    run("RilevaModem");
    client.Invoke(server, "SelezionaFaxModem");
    run("ApriPorta");
    client.Let(server, "NumeroFax", "5550100");
    client.Let(server, "FilesTif", pages);
    client.Invoke(server, "Invia");
    for (int i = 0; i < 600 && !page_started; ++i) client.Pump(std::chrono::milliseconds(100));
    ASSERT_TRUE(page_started) << "the page never began";
    EXPECT_TRUE(fs::exists(modem::UucpLock::PathFor((folder / "locks").string(), modem.Device())));
    EXPECT_EQ(daemon.Stop(), 0);
  }
  done = true;
  answering.join();

  // A modem drops what it is sent while it still sends the page: the hang-up
  // counts only when it came after the data ended.
  const auto& seen = modem.Seen();
  const auto page_data = std::find_if(seen.rbegin(), seen.rend(), [](const std::string& s) { return s.rfind("data ", 0) == 0; });
  const auto hang_up = std::find(seen.rbegin(), seen.rend(), "ATH0");
  ASSERT_NE(hang_up, seen.rend()) << "the modem never heard ATH0";
  EXPECT_LT(hang_up - seen.rbegin(), page_data - seen.rbegin()) << "ATH0 after the data ended";
  EXPECT_FALSE(fs::exists(modem::UucpLock::PathFor((folder / "locks").string(), modem.Device())));
}

}  // namespace
}  // namespace qvfax::testing
