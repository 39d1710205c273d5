// The sip engine's user agent against the test network's Kamailio: an
// account registers with its password, and a wrong password is refused
// with the account named.
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>

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

}  // namespace
}  // namespace qvfax::sip
