// qvfaxd as a separate process, driven over its socket.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <fstream>

#include "daemon_process.h"
#include "document_maker.h"
#include "rpc/client.h"
#include "tiff_maker.h"

namespace qvfax {
namespace {

using rpc::json;
using testing::DaemonProcess;

// A client of the daemon that records what the daemon tells it.
struct Observer {
  explicit Observer(const std::string& socket) : client(rpc::ConnectUnixSocket(socket)) {
    client.on_request = [this](const std::string& method, const json& params) -> json {
      heard.push_back(method == "AttivitaCambiata" ? "Attivita " + std::to_string(params.value("Codice", -9))
                                                   : method);
      return nullptr;
    };
    client.on_notification = [this](const std::string& method, const json& params) {
      if (method == "published") published[params.value("name", "")].push_back(params.value("text", ""));
    };
  }
  // Calls `command` and serves until the activity notification 0 arrives.
  void RunAndWaitIdle(int64_t server, const std::string& command) {
    const size_t before = heard.size();
    client.Invoke(server, command);
    auto idle = [&] {
      for (size_t i = before; i < heard.size(); ++i) {
        if (heard[i] == "Attivita 0") return true;
      }
      return false;
    };
    while (!idle()) client.Pump(std::chrono::milliseconds(100));
  }
  rpc::Client client;
  std::vector<std::string> heard;
  std::map<std::string, std::vector<std::string>> published;
};

int64_t NewServer(Observer& o) {
  const int64_t server = o.client.Create("QvVavUvaRazUr");
  o.client.Call("set", {{"handle", server}, {"member", "BkgFaxVmEventi"}, {"value", {{"client", true}}}});
  o.client.Invoke(server, "Inizializza");
  return server;
}

void OpenPort(Observer& o, int64_t server) {
  o.client.Invoke(server, "RilevaModem");
  const int64_t modems = o.client.GetObject(server, "InfoModems");
  while (o.client.Get(modems, "Count") == 0) o.client.Pump(std::chrono::milliseconds(50));
  o.client.Invoke(server, "SelezionaFaxModem");
  o.RunAndWaitIdle(server, "ApriPorta");
}

// Resident kibibytes of a process.
long ResidentKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

// Images are decoded in qvfax-prepare, never in the daemon: a hundred of
// them leave it at the size it had.
TEST(Qvfaxd, StaysAtItsSizeAfterAHundredImages) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer holds freed memory back: resident size says nothing";
#endif
  DaemonProcess daemon;
  const std::string photo = testing::WriteImage(daemon.folder() + "/photo.jpg", 1275, 1650, 150, true);
  rpc::Client client(rpc::ConnectUnixSocket(daemon.socket()));
  const auto prepare = [&] {
    const json prepared = client.Call("prepare", {{"files", {photo}}});
    ASSERT_EQ(prepared.value("pages", 0), 1) << prepared.dump();
  };
  for (int i = 0; i < 5; ++i) prepare();
  const long before = ResidentKiB(daemon.pid());
  for (int i = 0; i < 100; ++i) prepare();
  const long after = ResidentKiB(daemon.pid());
  ASSERT_GT(before, 0);
  // A decoded page of this image alone is 16 MiB; the daemon's own bookkeeping for a hundred is far less.
  EXPECT_LT(after - before, 4 * 1024) << before << " KiB before, " << after << " KiB after";
}

TEST(Qvfaxd, TheSocketIsPrivate) {
  DaemonProcess daemon;
  struct stat info {};
  ASSERT_EQ(::stat(daemon.socket().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(Qvfaxd, DetectsOpensSendsATwoFileFaxAndCloses) {
  DaemonProcess daemon;
  const auto first = testing::MakeFaxTiff(daemon.folder() + "/first.tif", 2);
  const auto second = testing::MakeFaxTiff(daemon.folder() + "/second.tif", 1);
  Observer o(daemon.socket());
  o.client.Call("follow", {{"name", "QvVavUvaRazUr"}});
  const int64_t server = NewServer(o);
  OpenPort(o, server);
  EXPECT_EQ(o.client.Get(o.client.GetObject(server, "PortStatus"), "Codice"), 0);

  o.client.Let(server, "NumeroFax", "0612345678");
  o.client.Let(server, "FilesTif", first + "+" + second);
  EXPECT_EQ(o.client.Get(server, "PagineDaTrasmettere"), 3);
  o.heard.clear();
  o.RunAndWaitIdle(server, "Invia");
  EXPECT_EQ(o.heard, (std::vector<std::string>{"Attivita 6", "InizioInvio", "FineInvio", "Attivita 0"}));
  EXPECT_EQ(o.client.Get(server, "PagineTrasmesse"), 3);
  EXPECT_EQ(o.client.Get(o.client.GetObject(server, "TRMStatus"), "Codice"), 0);

  const auto& docs = o.published["QvVavUvaRazUr"];
  ASSERT_FALSE(docs.empty());
  EXPECT_NE(docs.back().find("<Annullabile>0</Annullabile>"), std::string::npos);
  EXPECT_NE(docs.back().find("<Attivita><Codice>0</Codice>"), std::string::npos);
  const bool saw_sending = std::any_of(docs.begin(), docs.end(), [](const std::string& d) {
    return d.find("<Annullabile>-1</Annullabile>") != std::string::npos;
  });
  EXPECT_TRUE(saw_sending);

  o.RunAndWaitIdle(server, "ChiudiPorta");
  EXPECT_EQ(o.client.Get(o.client.GetObject(server, "PortStatus"), "Codice"), -1);
  o.client.Invoke(server, "Termina");
  const std::string log = testing::ReadLogs(daemon.StateFolder());
  EXPECT_NE(log.find("Server inizializzato"), std::string::npos);
  EXPECT_NE(log.find("Pages sent 3 on port ttyS0"), std::string::npos);
  EXPECT_NE(log.find("Server terminato"), std::string::npos);
}

TEST(Qvfaxd, FinishesTheFaxOfAClientThatLeftAndServesTheNextOne) {
  DaemonProcess daemon(10);
  const auto file = testing::MakeFaxTiff(daemon.folder() + "/leaving.tif", 3);
  Observer watcher(daemon.socket());
  watcher.client.Call("follow", {{"name", "QvVavUvaRazUr_Log"}});
  {
    Observer leaving(daemon.socket());
    const int64_t server = NewServer(leaving);
    OpenPort(leaving, server);
    leaving.client.Let(server, "NumeroFax", "0612345678");
    leaving.client.Let(server, "FilesTif", file);
    leaving.client.Invoke(server, "Invia");
    const int64_t progress = leaving.client.GetObject(server, "Avanzamento");
    while (leaving.client.Get(progress, "PageNumber") < 1) leaving.client.Pump(std::chrono::milliseconds(50));
  }  // the client goes, mid-page
  auto finished = [&] {
    const auto& texts = watcher.published["QvVavUvaRazUr_Log"];
    return !texts.empty() && texts.back().find("Fine trasmissione fax") != std::string::npos;
  };
  while (!finished()) watcher.client.Pump(std::chrono::milliseconds(200));
  const std::string last = watcher.published["QvVavUvaRazUr_Log"].back();
  EXPECT_NE(last.find("Pages sent 3 on port ttyS0"), std::string::npos);
  EXPECT_NE(last.find("Termination status (0) Normal termination"), std::string::npos);

  Observer next(daemon.socket());
  const int64_t server = NewServer(next);
  EXPECT_GT(next.client.Get(server, "ProcessId").get<int>(), 0);
  const std::string log = testing::ReadLogs(daemon.StateFolder());
  EXPECT_NE(log.find("Fax completato alle"), std::string::npos);
}

TEST(Qvfaxd, SurvivesAThousandHostileMessages) {
  DaemonProcess daemon;
  auto raw = rpc::ConnectUnixSocket(daemon.socket());
  const std::vector<std::string> hostile = {
      "garbage",
      "{",
      "[1,2,3]",
      "null",
      R"({"jsonrpc":"2.0"})",
      R"({"jsonrpc":"2.0","id":1,"method":"get","params":{"handle":"x"}})",
      R"({"jsonrpc":"2.0","id":2,"method":"get","params":{"handle":123456,"member":"Xml"}})",
      R"({"jsonrpc":"2.0","id":3,"method":"call","params":{"handle":1,"member":"ScriviLog","args":["x"]}})",
      R"({"jsonrpc":"2.0","id":4,"method":"create","params":{"class":"QvBkgFaxVmErrore"}})",
      R"({"jsonrpc":"2.0","id":5,"method":"create","params":{"class":42}})",
      R"({"jsonrpc":"2.0","id":6,"method":"let","params":{"handle":1,"member":"NumeroFax"}})",
      R"({"jsonrpc":"2.0","id":7,"method":"release","params":{"handle":-1}})",
      R"({"jsonrpc":"2.0","id":8,"method":"follow","params":{"name":null}})",
      R"({"jsonrpc":"2.0","id":9,"method":"set","params":{"handle":1,"member":"Porta","value":{"client":true}}})",
      R"({"jsonrpc":"2.0","id":10,"result":"unsolicited"})",
      R"({"jsonrpc":"2.0","id":11,"method":"get","params":[1,2]})",
      std::string(3 << 20, 'x'),
  };
  raw->Send(R"({"jsonrpc":"2.0","id":0,"method":"create","params":{"class":"QvBkgFaxVmToneDial"}})");
  for (int i = 0; i < 1000; ++i) raw->Send(hostile[static_cast<size_t>(i) % hostile.size()]);
  raw->Send(R"({"jsonrpc":"2.0","id":"good","method":"call","params":{"handle":1,"member":"Descrizione"}})");
  json good;
  size_t errors = 0;
  while (good.is_null()) {
    auto line = raw->Receive(std::chrono::milliseconds(10'000));
    ASSERT_TRUE(line.has_value()) << "no answer to the good request";
    const json doc = json::parse(*line);
    if (doc.contains("error")) ++errors;
    if (doc.value("id", json()) == "good") good = doc;
  }
  EXPECT_EQ(good["result"], "Tone");
  EXPECT_GT(errors, 800u);
  Observer fresh(daemon.socket());
  EXPECT_GT(fresh.client.Create("QvVavUvaRazUr"), 0);
}

TEST(Qvfaxd, StopsOnSigtermClosingPortsAndTerminatingServers) {
  DaemonProcess daemon;
  Observer o(daemon.socket());
  const int64_t server = NewServer(o);
  OpenPort(o, server);
  EXPECT_EQ(daemon.Stop(), 0);
  const std::string log = testing::ReadLogs(daemon.StateFolder());
  EXPECT_NE(log.find("ttyS0 was closed"), std::string::npos);
  EXPECT_NE(log.find("Server terminato"), std::string::npos);
}

}  // namespace
}  // namespace qvfax
