// What one client may cost the daemon, in real time against a real qvfaxd: a
// client that asks and never reads is dropped once its waiting answers pass the bound, and past the cap on
// clients a new one is refused with a reason; the others go on.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "daemon_process.h"
#include "unix_socket.h"
#include "rpc/client.h"

namespace qvfax::testing {
namespace {

// Everything the daemon sends until it closes, or what came before `seconds` of silence.
std::string ReadToEnd(int fd, int seconds) {
  std::string all;
  char buffer[65536];
  while (true) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, seconds * 1000) <= 0) return all;
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) return all;
    all.append(buffer, static_cast<size_t>(n));
  }
}

// Whether the peer hung up on `fd` within `seconds`, found without reading.
bool HungUp(int fd, int seconds) {
  pollfd p{fd, POLLRDHUP, 0};
  return ::poll(&p, 1, seconds * 1000) == 1 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

TEST(QvfaxdLimits, AClientThatNeverReadsIsDroppedAndOthersAreServed) {
  std::signal(SIGPIPE, SIG_IGN);  // its writes fail once it is dropped
  DaemonProcess daemon;
  const int greedy = ConnectedUnixSocket(daemon.socket());
  ASSERT_GE(greedy, 0);
  // Each answer is the whole status document (some kilobytes). The client
  // asks until the daemon hangs up on it and reads nothing before: a client
  // that read as it went would drain its answers and never be dropped.
  constexpr int kMostRequests = 200000;
  std::string pending = R"({"jsonrpc":"2.0","id":0,"method":"create","params":{"class":"QvVavUvaRazUr"}})" "\n";
  int asked = 0;
  bool dropped = false;
  while (!dropped) {
    if (pending.empty()) {
      if (asked == kMostRequests) break;
      for (int i = 0; i < 100 && asked < kMostRequests; ++i) {
        pending += R"({"jsonrpc":"2.0","id":)" + std::to_string(++asked) +
                   R"(,"method":"call","params":{"handle":1,"member":"Xml"}})" "\n";
      }
    }
    pollfd p{greedy, POLLOUT | POLLRDHUP, 0};
    ASSERT_EQ(::poll(&p, 1, 60000), 1) << "the daemon neither read nor dropped the client";
    if (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) {
      dropped = true;
      break;
    }
    const ssize_t n = ::send(greedy, pending.data(), pending.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0 && errno != EAGAIN) dropped = true;
    if (n > 0) pending.erase(0, static_cast<size_t>(n));
  }
  // Everything asked: the answers pile up until the daemon gives up on it.
  if (!dropped) dropped = HungUp(greedy, 120);
  ASSERT_TRUE(dropped) << "a client that never read " << asked << " answers was kept";
  const std::string answers = ReadToEnd(greedy, 20);
  ::close(greedy);
  const auto count = std::count(answers.begin(), answers.end(), '\n');
  EXPECT_LT(count, asked + 1) << "every answer was kept for a client that did not read";
  // Dropped for the answers it left waiting, not for anything else. (What the
  // kernel had taken before the drop may or may not still reach the client:
  // that is the kernel's to decide, so it is not counted here.)
  const std::string mark = "dropped a client that did not read its messages (";
  for (int i = 0; i < 200 && daemon.Journal().find(mark) == std::string::npos; ++i) ::poll(nullptr, 0, 50);
  const std::string journal = daemon.Journal();
  const auto at = journal.find(mark);
  ASSERT_NE(at, std::string::npos) << journal;
  EXPECT_GE(std::stol(journal.substr(at + mark.size())), 16 * 1024) << journal;

  // The daemon is still there for everybody else.
  rpc::Client other(rpc::ConnectUnixSocket(daemon.socket()));
  EXPECT_TRUE(other.Call("faxes", {{"scope", "own"}}).is_array());
}

TEST(QvfaxdLimits, PastFiveHundredAndTwelveClientsANewOneIsRefusedWithAReason) {
  DaemonProcess daemon;
  std::vector<int> clients;
  for (int i = 0; i < 512; ++i) {
    const int fd = ConnectedUnixSocket(daemon.socket());
    ASSERT_GE(fd, 0) << i;
    clients.push_back(fd);
  }
  // Each of those past the cap hears why; the journal is not flooded with one line each.
  constexpr int kTooMany = 20;
  for (int i = 0; i < kTooMany; ++i) {
    const int one_too_many = ConnectedUnixSocket(daemon.socket());
    ASSERT_GE(one_too_many, 0);
    const std::string said = ReadToEnd(one_too_many, 10);
    ::close(one_too_many);
    EXPECT_NE(said.find("qvfaxd serves at most 512 clients at once"), std::string::npos) << said;
    EXPECT_NE(said.find("-32003"), std::string::npos) << said;
  }
  // The journal reaches its file through a pipe: wait for the first line, with a generous bound.
  for (int i = 0; i < 200 && daemon.Journal().find("qvfaxd: refused") == std::string::npos; ++i) ::poll(nullptr, 0, 50);
  const std::string journal = daemon.Journal();
  size_t lines = 0;
  for (size_t at = journal.find("qvfaxd: refused"); at != std::string::npos; at = journal.find("qvfaxd: refused", at + 1)) ++lines;
  EXPECT_GE(lines, 1u) << journal;
  EXPECT_LT(lines, static_cast<size_t>(kTooMany)) << journal;
  // Those already connected are still served.
  const std::string request = R"({"jsonrpc":"2.0","id":1,"method":"faxes","params":{}})" "\n";
  ASSERT_EQ(::write(clients.front(), request.data(), request.size()), static_cast<ssize_t>(request.size()));
  char answer[256] = {};
  pollfd p{clients.front(), POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 10000), 1);
  EXPECT_GT(::read(clients.front(), answer, sizeof answer - 1), 0);
  EXPECT_NE(std::string(answer).find("\"result\":[]"), std::string::npos) << answer;
  for (int fd : clients) ::close(fd);
}

}  // namespace
}  // namespace qvfax::testing
