// The broker fed damaged and random JSON-RPC: seeded mutations of valid
// requests, random bytes and deep nesting must each get an answer or be
// ignored, never crash it; afterwards it still serves a valid request. The
// number of messages bounds the time (the sanitizer build runs this too).
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <random>

#include "engines/sim/sim_bank.h"
#include "rpc/broker.h"
#include "rpc/in_process.h"

namespace qvfax::rpc {
namespace {

std::string Mutated(std::mt19937& random, std::string text) {
  switch (random() % 5) {
    case 0:
      text.resize(random() % (text.size() + 1));  // cut short
      break;
    case 1:
      for (int i = 0, n = 1 + static_cast<int>(random() % 6); i < n && !text.empty(); ++i) {
        text[random() % text.size()] = static_cast<char>(random() % 256);
      }
      break;
    case 2:
      text.insert(random() % (text.size() + 1), std::string(1 + random() % 40, "[{\"0,:}]"[random() % 8]));
      break;
    case 3: {
      // A valid shape with a value of the wrong kind.
      const char* values[] = {"null", "-1", "1e308", "\"\"", "[]", "{}", "true", "99999999999999999999"};
      const auto at = text.find(':', random() % text.size());
      if (at != std::string::npos) text.insert(at + 1, std::string(values[random() % 8]) + ",\"x\":");
      break;
    }
    default:
      break;  // as it is
  }
  return text;
}

TEST(JsonRpcFuzz, DamagedMessagesNeverStopTheBroker) {
  Broker broker(BrokerOptions{[](ComponentRegistry& r) { sim::RegisterSimEngine(r, sim::DefaultConfig()); },
                              std::chrono::milliseconds(50), ""});
  Client client(ConnectInProcess(broker));
  const int64_t server = client.Create("QvVavUvaRazUr");
  // The fuzz has a connection of its own, whose answers go nowhere; its
  // server object is handle 1 there.
  struct Nowhere : Peer {
    void Send(const std::string&) override {}
  };
  const uint64_t fuzz = broker.Connect(std::make_shared<Nowhere>());
  broker.Handle(fuzz, R"({"jsonrpc":"2.0","id":0,"method":"create","params":{"class":"QvVavUvaRazUr"}})");
  const std::string handle = "1";
  const std::vector<std::string> valid = {
      R"({"jsonrpc":"2.0","id":1,"method":"get","params":{"handle":)" + handle + R"(,"member":"NumeroFax"}})",
      R"({"jsonrpc":"2.0","id":2,"method":"let","params":{"handle":)" + handle + R"(,"member":"NumeroFax","value":"0612"}})",
      R"({"jsonrpc":"2.0","id":3,"method":"call","params":{"handle":)" + handle + R"(,"member":"Xml","args":[]}})",
      R"({"jsonrpc":"2.0","id":4,"method":"get","params":{"handle":)" + handle + R"(,"member":"Trasmissione"}})",
      R"({"jsonrpc":"2.0","id":5,"method":"faxes","params":{"scope":"own"}})",
      R"({"jsonrpc":"2.0","id":6,"method":"follow","params":{"name":"QvVavUvaRazUr_Log","fax":1}})",
      R"({"jsonrpc":"2.0","id":7,"method":"release","params":{"handle":99}})",
      R"({"jsonrpc":"2.0","id":"sink-1","result":null})",
      R"({"jsonrpc":"2.0","method":"cancel","params":{"fax":7}})",
  };
  std::mt19937 random(20261206);
  std::string deep(5000, '[');
  for (int i = 0; i < 3000; ++i) {
    std::string line = i % 500 == 0 ? deep : Mutated(random, valid[random() % valid.size()]);
    line.erase(std::remove(line.begin(), line.end(), '\n'), line.end());
    EXPECT_NO_THROW(broker.Handle(fuzz, line)) << line;
  }
  broker.Disconnect(fuzz);
  // Whatever came before, a valid request is still served.
  EXPECT_EQ(client.Get(server, "ProcessId"), static_cast<int>(::getpid()));
}

// What a message nests, not how long it is, is limited: 64 levels pass, past
// that the answer is a parse error, however deep (a copy of a document nested
// 100,000 deep overflowed the stack).
TEST(JsonRpcFuzz, DeepNestingIsAParseErrorAndLongArraysAreServed) {
  Broker broker(BrokerOptions{[](ComponentRegistry& r) { sim::RegisterSimEngine(r, sim::DefaultConfig()); },
                              std::chrono::milliseconds(50), ""});
  struct Heard : Peer {
    void Send(const std::string& line) override { lines.push_back(line); }
    std::vector<std::string> lines;
  };
  auto heard = std::make_shared<Heard>();
  const uint64_t connection = broker.Connect(heard);
  auto nested = [](int depth) {
    return R"({"jsonrpc":"2.0","id":1,"method":"faxes","params":{"x":)" + std::string(depth, '[') +
           std::string(depth, ']') + "}}";
  };
  const std::pair<std::string, const char*> rows[] = {
      {nested(62), R"("result":[])"},  // 64 levels with the message and its params
      {nested(63), R"("code":-32700)"},
      {nested(100000), R"("code":-32700)"},
      {R"({"jsonrpc":"2.0","id":1,"method":"faxes","params":{"x":")" + std::string(100000, '[') + R"("}})",
       R"("result":[])"},  // brackets inside a string are text
      {R"({"jsonrpc":"2.0","id":1,"method":"faxes","params":{"x":[)" + [] {
         std::string many;
         for (int i = 0; i < 200000; ++i) many += i ? ",0" : "0";
         return many;
       }() + "]}}",
       R"("result":[])"},
  };
  for (const auto& [line, expected] : rows) {
    heard->lines.clear();
    broker.Handle(connection, line);
    ASSERT_EQ(heard->lines.size(), 1u) << line.substr(0, 80);
    EXPECT_NE(heard->lines[0].find(expected), std::string::npos) << heard->lines[0].substr(0, 200);
  }
  broker.Disconnect(connection);
}

}  // namespace
}  // namespace qvfax::rpc
