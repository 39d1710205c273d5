// The sip engine's user agent against the test network's Kamailio: an
// account registers with its password, and a wrong password is refused
// with the account named.
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "engines/sip/sip_agent.h"

namespace qvfax::sip {
namespace {

int SipNet(const std::string& arguments) {
  return std::system(("bash " QVFAX_SOURCE_DIR "/scripts/sipnet/sipnet " + arguments).c_str());
}

// What the agent said of the account, waited for with a bound.
class Watch {
 public:
  void Changed(size_t, const Registration& now) {
    std::lock_guard lock(mutex_);
    last_ = now;
    seen_.notify_all();
  }
  Registration WaitPast(Registration::State state) {
    std::unique_lock lock(mutex_);
    seen_.wait_for(lock, std::chrono::seconds(20), [&] { return last_.state != state; });
    return last_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable seen_;
  Registration last_;
};

class SipAgentOnTheNetwork : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(SipNet("start"), 0); }
  void TearDown() override { EXPECT_EQ(SipNet("stop"), 0); }

  static SipConfig Account(const std::string& password_file) {
    return ParseSipConfig(fmt::format(R"({{"accounts": [{{"name": "test trunk", "user": "fax1", "domain": "qvfax.test",
                                          "registrar": "sip:127.0.0.1:35060", "password_file": "{}"}}],
                                          "listen": "127.0.0.1:35070"}})",
                                      password_file),
                          "sip.json");
  }
};

TEST_F(SipAgentOnTheNetwork, AnAccountRegistersWithItsPasswordAndAWrongOneIsRefused) {
  {
    Watch watch;
    SipAgent agent(Account("/tmp/qvfax-sipnet/fax1.secret"),
                   [&](size_t account, const Registration& now) { watch.Changed(account, now); });
    ASSERT_EQ(agent.Error(), "");
    agent.Register();
    const Registration now = watch.WaitPast(Registration::kRegistering);
    EXPECT_EQ(now.state, Registration::kRegistered) << now.detail;
    EXPECT_EQ(now.status, 200);
  }
  const std::string wrong = "/tmp/qvfax-sipnet/wrong.secret";
  std::ofstream(wrong) << "not-the-password\n";
  std::filesystem::permissions(wrong, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  Watch watch;
  SipAgent agent(Account(wrong), [&](size_t account, const Registration& now) { watch.Changed(account, now); });
  agent.Register();
  const Registration now = watch.WaitPast(Registration::kRegistering);
  EXPECT_EQ(now.state, Registration::kRefused);
  EXPECT_EQ(now.detail.rfind("the registrar refused account test trunk: 401", 0), 0u) << now.detail;
}

// What arrives at the agent's port is anybody's: thousands of broken SIP
// messages (bytes flipped, cut, repeated, headers swollen) leave it alive,
// and a proper call that comes after them still rings.
TEST(SipAgentFuzz, BrokenMessagesLeaveItAnsweringCalls) {
  const auto config = ParseSipConfig(R"({"accounts": [{"name": "fuzzed", "user": "fax9", "domain": "127.0.0.1",
                                          "use": "receive"}], "listen": "127.0.0.1:35077"})",
                                     "sip.json");
  SipAgent agent(config, nullptr);
  ASSERT_EQ(agent.Error(), "");
  auto ringer = std::make_shared<Ringer>();
  agent.Listen(ringer);

  const int sock = ::socket(AF_INET, SOCK_DGRAM, 0);
  ASSERT_GE(sock, 0);
  sockaddr_in me{};
  me.sin_family = AF_INET;
  me.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&me), sizeof me), 0);
  socklen_t length = sizeof me;
  ::getsockname(sock, reinterpret_cast<sockaddr*>(&me), &length);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(35077);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  auto invite = [&](int n) {
    const std::string sdp = "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
                            "m=audio 40000 RTP/AVP 8\r\na=rtpmap:8 PCMA/8000\r\n";
    return fmt::format("INVITE sip:fax9@127.0.0.1:35077 SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1:{0};branch=z9hG4bK{1}\r\n"
                       "From: \"Fuzz\" <sip:fuzz@127.0.0.1>;tag={1}\r\nTo: <sip:fax9@127.0.0.1>\r\n"
                       "Call-ID: fuzz{1}@127.0.0.1\r\nCSeq: 1 INVITE\r\nMax-Forwards: 70\r\n"
                       "Contact: <sip:fuzz@127.0.0.1:{0}>\r\nContent-Type: application/sdp\r\n"
                       "Content-Length: {2}\r\n\r\n{3}",
                       ntohs(me.sin_port), n, sdp.size(), sdp);
  };
  const std::string seeds[] = {
      invite(0),
      "OPTIONS sip:127.0.0.1:35077 SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1:9;branch=z9hG4bKo\r\nFrom: <sip:a@b>;tag=1\r\n"
      "To: <sip:c@d>\r\nCall-ID: o@x\r\nCSeq: 1 OPTIONS\r\nContent-Length: 0\r\n\r\n",
      "SIP/2.0 200 OK\r\nVia: SIP/2.0/UDP 127.0.0.1:35077;branch=z9hG4bKnothing\r\nFrom: <sip:a@b>;tag=1\r\n"
      "To: <sip:c@d>;tag=2\r\nCall-ID: r@x\r\nCSeq: 7 INVITE\r\nContent-Length: 0\r\n\r\n",
      "BYE sip:fax9@127.0.0.1 SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1:9;branch=z9hG4bKb\r\nFrom: <sip:a@b>;tag=1\r\n"
      "To: <sip:fax9@127.0.0.1>;tag=9\r\nCall-ID: b@x\r\nCSeq: 2 BYE\r\nContent-Length: 0\r\n\r\n",
  };
  std::mt19937 random(2026);
  constexpr int kMessages = 4000;
  for (int i = 0; i < kMessages; ++i) {
    std::string m = seeds[random() % std::size(seeds)];
    const int edits = 1 + static_cast<int>(random() % 8);
    for (int e = 0; e < edits && !m.empty(); ++e) {
      const size_t at = random() % m.size();
      switch (random() % 6) {
        case 0: m[at] = static_cast<char>(random()); break;                     // a byte flipped
        case 1: m.erase(at, random() % 40); break;                              // a piece cut out
        case 2: m.insert(at, m.substr(at, random() % 80)); break;               // a piece repeated
        case 3: m.resize(at); break;                                            // cut short
        case 4: m.insert(at, std::string(random() % 3000, 'A' + random() % 26)); break;  // swollen
        case 5: m.insert(at, "\r\nContent-Length: 99999999999999999999\r\n"); break;
      }
    }
    ::sendto(sock, m.data(), std::min<size_t>(m.size(), 60000), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    if (i % 20 == 0) ::poll(nullptr, 0, 2);  // let its socket drain rather than drop
  }
  // Still there: a call rings, and the agent answers it with "180 Ringing"
  // (or "486 Busy Here", when a broken INVITE that still made sense took the one channel).
  std::string heard;
  bool rang = false;
  for (int attempt = 1; attempt <= 5 && !rang; ++attempt) {
    const std::string call = invite(attempt);
    ::sendto(sock, call.data(), call.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    for (int waits = 0; waits < 20 && !rang; ++waits) {
      pollfd p{sock, POLLIN, 0};
      if (::poll(&p, 1, 500) != 1) continue;
      char buffer[65536];
      const ssize_t n = ::recv(sock, buffer, sizeof buffer, 0);
      if (n > 0) heard.assign(buffer, static_cast<size_t>(n));
      rang = heard.rfind("SIP/2.0 180", 0) == 0 || heard.rfind("SIP/2.0 486", 0) == 0;
    }
  }
  ::close(sock);
  EXPECT_TRUE(rang) << heard;
  bool incoming = false;
  for (const auto& event : ringer->events.Take()) incoming = incoming || event.kind == CallEvent::kIncoming;
  EXPECT_TRUE(incoming);
  agent.StopListening(ringer);
}

}  // namespace
}  // namespace qvfax::sip
