// The broker in-process: objects by handle, errors as JSON-RPC errors, and
// sink notifications to the client. A whole fax through the broker is the
// daemon's test, and the qvfax command's through a broker of its own.
#include "rpc/broker.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "engines/sim/sim_bank.h"
#include "rpc/in_process.h"
#include "tiff_maker.h"

namespace qvfax::rpc {
namespace {

sim::Config FastBank() {
  auto config = sim::DefaultConfig();
  config.timing = {5, 5, 5, 10, 5};
  return config;
}

class BrokerTest : public ::testing::Test {
 protected:
  BrokerTest()
      : broker(BrokerOptions{[](ComponentRegistry& r) { sim::RegisterSimEngine(r, FastBank()); },
                             std::chrono::milliseconds(200), ""}),
        client(ConnectInProcess(broker)) {}

  Broker broker;
  Client client;
};

TEST_F(BrokerTest, ObjectPropertiesComeBackAsHandles) {
  const int64_t server = client.Create("QvVavUvaRazUr");
  const int64_t tx = client.GetObject(server, "Trasmissione");
  const int64_t ecm = client.GetObject(tx, "ECM");
  EXPECT_EQ(client.Get(ecm, "Codice"), 1);
  client.Let(ecm, "Codice", 3);
  EXPECT_EQ(client.Invoke(ecm, "Descrizione"), "Attivato");
  EXPECT_EQ(client.GetObject(tx, "ECM"), ecm) << "the same object, the same handle";
  EXPECT_EQ(client.GetObject(client.GetObject(server, "Porta"), "ECM") == ecm, false);
  EXPECT_NE(client.Invoke(server, "Xml").get<std::string>().find("<Trasmissione><TipoFax>"), std::string::npos);
}

TEST_F(BrokerTest, AutomationErrorsCarryNumberSourceAndDescription) {
  const int64_t server = client.Create("QvVavUvaRazUr");
  try {
    client.Invoke(server, "Invia");
    FAIL();
  } catch (const RemoteError& e) {
    EXPECT_EQ(e.code(), -32000);
    EXPECT_EQ(e.number(), 91);
    EXPECT_EQ(e.data().value("source", ""), "QvNrVavUvaRazUr");
    EXPECT_EQ(e.description(), "Object variable or With block variable not set");
  }
}

TEST_F(BrokerTest, InternalOperationsAndUnknownThingsAreRefused) {
  const int64_t server = client.Create("QvVavUvaRazUr");
  struct Row {
    std::string method;
    json params;
    int code;
  };
  const std::vector<Row> rows = {
      {"call", {{"handle", server}, {"member", "ScriviLog"}, {"args", {"x"}}}, -32002},
      {"call", {{"handle", server}, {"member", "ImpostaAnnulla"}, {"args", {1}}}, -32002},
      {"let", {{"handle", server}, {"member", "Xml"}, {"value", "x"}}, -32002},
      {"get", {{"handle", 999}, {"member", "Xml"}}, -32001},
      {"get", {{"handle", "one"}, {"member", "Xml"}}, -32602},
      {"let", {{"handle", server}, {"member", "NumeroFax"}, {"value", 5}}, -32602},
      {"create", {{"class", "QvBkgFaxVmErrore"}}, -32003},
      {"frobnicate", json::object(), -32601},
      {"set", {{"handle", server}, {"member", "BkgFaxVmEventi"}, {"value", 5}}, -32602},
      {"faxes", {{"scope", "mine"}}, -32602},
      {"cancel", {{"fax", 0}}, -32602},
      {"follow", {{"name", "Elsewhere"}}, -32602},
      {"submit", {{"number", "0601"}, {"files", {"/tmp/a.tif"}}}, -32601},  // no queue kept here
      {"jobs", json::object(), -32601},
  };
  for (const auto& row : rows) {
    try {
      client.Call(row.method, row.params);
      ADD_FAILURE() << row.method << " " << row.params.dump();
    } catch (const RemoteError& e) {
      EXPECT_EQ(e.code(), row.code) << row.method << " " << row.params.dump();
    }
  }
  EXPECT_EQ(client.Get(server, "ProcessId"), ::getpid());
}

TEST_F(BrokerTest, AClientThatDoesNotAnswerItsSinkFailsTheCallButNotTheApartment) {
  auto raw = ConnectInProcess(broker);
  // Answers the n-th request and skips any sink request that arrives first.
  auto answer = [&](int id) {
    while (true) {
      auto line = raw->Receive(std::chrono::milliseconds(5000));
      if (!line) return json();
      const json doc = json::parse(*line);
      if (doc.contains("method")) continue;  // a sink request: never answered
      if (doc.value("id", json()) == id) return doc;
    }
  };
  raw->Send(R"({"jsonrpc":"2.0","id":1,"method":"create","params":{"class":"QvVavUvaRazUr"}})");
  const int64_t server = answer(1)["result"]["handle"].get<int64_t>();
  raw->Send(json{{"jsonrpc", "2.0"}, {"id", 2}, {"method", "set"},
                 {"params", {{"handle", server}, {"member", "BkgFaxVmEventi"}, {"value", {{"client", true}}}}}}
                .dump());
  answer(2);
  raw->Send(json{{"jsonrpc", "2.0"}, {"id", 3}, {"method", "call"},
                 {"params", {{"handle", server}, {"member", "ApriPorta"}}}}.dump());
  const json failed = answer(3);
  ASSERT_TRUE(failed.contains("error"));
  EXPECT_EQ(failed["error"]["data"]["number"], -2147417825);
  raw->Send(json{{"jsonrpc", "2.0"}, {"id", 4}, {"method", "get"},
                 {"params", {{"handle", server}, {"member", "ProcessId"}}}}.dump());
  EXPECT_EQ(answer(4)["result"], ::getpid());
}

TEST_F(BrokerTest, MalformedMessagesGetErrorsAndTheConnectionGoesOn) {
  auto mailbox_client = ConnectInProcess(broker);
  for (const std::string bad : {"not json", "[]", "{\"jsonrpc\":\"1.0\",\"id\":1,\"method\":\"get\"}",
                                "{\"jsonrpc\":\"2.0\",\"id\":{},\"method\":\"get\"}",
                                "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":7}", "{\"jsonrpc\":\"2.0\",\"id\":2}"}) {
    mailbox_client->Send(bad);
    auto answer = mailbox_client->Receive(std::chrono::milliseconds(1000));
    ASSERT_TRUE(answer.has_value()) << bad;
    const json doc = json::parse(*answer);
    EXPECT_TRUE(doc.contains("error")) << bad;
  }
  Client after(std::move(mailbox_client));
  EXPECT_GT(after.Create("QvBkgFaxVmToneDial"), 0);
}

TEST_F(BrokerTest, AServerObjectWhoseClientLeftBeforeTheAnswerIsReleased) {
  struct Nobody : Peer {
    void Send(const std::string&) override {}
  };
  for (int i = 0; i < 20; ++i) {
    const uint64_t id = broker.Connect(std::make_shared<Nobody>());
    broker.Handle(id, R"({"jsonrpc":"2.0","id":1,"method":"create","params":{"class":"QvVavUvaRazUr"}})");
    broker.Disconnect(id);
  }
  // The apartments end on their own threads: wait for them, within reason.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (broker.LiveServerObjects() > 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  EXPECT_EQ(broker.LiveServerObjects(), 0u);
}

TEST_F(BrokerTest, FaxesBelongToTheSessionOfTheClientThatCreatedThem) {
  Client other(ConnectInProcess(broker, PeerIdentity{12345, 12345}));
  const json mine = client.Call("create", {{"class", "QvVavUvaRazUr"}});
  const json theirs = other.Call("create", {{"class", "QvVavUvaRazUr"}});
  const int64_t my_fax = mine.at("fax"), their_fax = theirs.at("fax");
  ASSERT_NE(my_fax, their_fax);
  client.Let(mine.at("handle"), "NumeroFax", "0612345678");

  auto faxes = [&](Client& who, const json& params) {
    std::vector<int64_t> ids;
    for (const auto& fax : who.Call("faxes", params)) ids.push_back(fax.at("fax"));
    return ids;
  };
  EXPECT_EQ(faxes(client, {{"scope", "own"}}), std::vector<int64_t>{my_fax});
  EXPECT_EQ(faxes(other, {{"scope", "own"}}), std::vector<int64_t>{their_fax});
  EXPECT_EQ(faxes(other, json::object()), (std::vector<int64_t>{my_fax, their_fax})) << "all by default";
  EXPECT_EQ(faxes(other, {{"fax", my_fax}}), std::vector<int64_t>{my_fax});

  const json listed = other.Call("faxes", {{"fax", my_fax}}).at(0);
  EXPECT_FALSE(listed.at("own"));
  EXPECT_EQ(listed.at("live").at("number"), "0612345678") << "read from the server object, not the document";
  EXPECT_EQ(other.Call("cancel", {{"scope", "own"}}), 1);
  EXPECT_EQ(client.Call("cancel", {{"fax", 999}}), 0);
}

// Documents prepared for a client go with it: those of a client that left
// before they were ready, and those a killed daemon left behind.
TEST(BrokerSpool, PreparedDocumentsNobodyWillSendAreRemoved) {
  namespace fs = std::filesystem;
  const fs::path spool = testing::ScratchPath("broker-spool");
  fs::remove_all(spool);
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ::waitpid(gone, nullptr, 0);
  for (const std::string& kept : {std::to_string(gone) + "-3", std::to_string(::getpid()) + "-9", std::string("notes")}) {
    fs::create_directories(spool / kept);
    std::ofstream(spool / kept / "01-page.tif") << "pages";
  }
  const std::string file = testing::MakeFaxTiff(testing::ScratchPath("broker-spool.tif"), 3);
  {
    Broker broker({[](ComponentRegistry& r) { sim::RegisterSimEngine(r, FastBank()); },
                   std::chrono::milliseconds(200), spool.string()});
    EXPECT_FALSE(fs::exists(spool / (std::to_string(gone) + "-3"))) << "a killed daemon's client folder";
    EXPECT_TRUE(fs::exists(spool / (std::to_string(::getpid()) + "-9"))) << "a living process's";
    EXPECT_TRUE(fs::exists(spool / "notes")) << "what is not a client's folder";
    struct Nowhere : Peer {
      void Send(const std::string&) override {}
    };
    for (int i = 0; i < 20; ++i) {
      const uint64_t leaving = broker.Connect(std::make_shared<Nowhere>());
      broker.Handle(leaving, R"({"jsonrpc":"2.0","id":1,"method":"prepare","params":{"files":[")" + file + R"("]}})");
      broker.Disconnect(leaving);
    }
  }  // the broker waits for the preparations under way
  size_t left = 0;
  for (const auto& entry : fs::directory_iterator(spool)) left += entry.path().filename() != "notes" &&
                                                                    entry.path().filename() != std::to_string(::getpid()) + "-9";
  EXPECT_EQ(left, 0u) << "20 prepares whose client left";
}

}  // namespace
}  // namespace qvfax::rpc
