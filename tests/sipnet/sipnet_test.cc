// The test network the sip engine is tried on (scripts/sipnet): Kamailio
// on loopback answers keep-alives and asks every account for its digest
// password, and each account's password is in a file only its owner reads.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include <fmt/format.h>
#include <gtest/gtest.h>

namespace qvfax {
namespace {

constexpr int kPort = 35060;  // the script's default
constexpr const char* kNet = "/tmp/qvfax-sipnet";

int SipNet(const std::string& arguments) {
  return std::system(("bash " QVFAX_SOURCE_DIR "/scripts/sipnet/sipnet " + arguments).c_str());
}

class SipNetwork : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(SipNet("start"), 0);
    sock_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(sock_, 0);
    sockaddr_in me{};
    me.sin_family = AF_INET;
    me.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(sock_, reinterpret_cast<sockaddr*>(&me), sizeof me), 0);
    socklen_t length = sizeof me;
    ::getsockname(sock_, reinterpret_cast<sockaddr*>(&me), &length);
    port_ = ntohs(me.sin_port);
  }

  void TearDown() override {
    if (sock_ >= 0) ::close(sock_);
    EXPECT_EQ(SipNet("stop"), 0);
  }

  // Sends a request and returns the first answer, or "" after ten seconds.
  std::string Ask(const std::string& request) {
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(kPort);
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::sendto(sock_, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&server), sizeof server);
    pollfd p{sock_, POLLIN, 0};
    if (::poll(&p, 1, 10000) != 1) return "";
    char answer[4096];
    const ssize_t n = ::recv(sock_, answer, sizeof answer, 0);
    return n > 0 ? std::string(answer, static_cast<size_t>(n)) : "";
  }

  std::string Request(const std::string& method, const std::string& uri, const std::string& user) {
    return fmt::format(
        "{0} {1} SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1:{2};branch=z9hG4bK{0}{2};rport\r\n"
        "From: <sip:{3}@qvfax.test>;tag=t{2}\r\nTo: <sip:{3}@qvfax.test>\r\nCall-ID: {0}{2}@127.0.0.1\r\n"
        "CSeq: 1 {0}\r\nContact: <sip:{3}@127.0.0.1:{2}>\r\nMax-Forwards: 5\r\nContent-Length: 0\r\n\r\n",
        method, uri, port_, user);
  }

  int sock_ = -1;
  int port_ = 0;
};

TEST_F(SipNetwork, KamailioAnswersKeepAlivesAndAsksAccountsForTheirPassword) {
  EXPECT_EQ(Ask(Request("OPTIONS", fmt::format("sip:127.0.0.1:{}", kPort), "probe")).rfind("SIP/2.0 200 OK\r\n", 0), 0u);
  const std::string challenge = Ask(Request("REGISTER", "sip:qvfax.test", "fax1"));
  EXPECT_EQ(challenge.rfind("SIP/2.0 401 ", 0), 0u) << challenge;
  EXPECT_NE(challenge.find("WWW-Authenticate: Digest realm=\"qvfax.test\""), std::string::npos) << challenge;
  // A call from an account that has not proved itself is refused for the proxy's challenge.
  const std::string invite = Ask(Request("INVITE", "sip:fax2@qvfax.test", "fax1"));
  EXPECT_EQ(invite.rfind("SIP/2.0 407 ", 0), 0u) << invite;
  for (const char* account : {"fax1", "fax2", "fax3"}) {
    struct stat info {};
    ASSERT_EQ(::stat(fmt::format("{}/{}.secret", kNet, account).c_str(), &info), 0) << account;
    EXPECT_EQ(info.st_mode & 0777, 0600u) << account;
  }
}

}  // namespace
}  // namespace qvfax
