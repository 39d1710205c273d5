// The sip engine's configuration file: accounts with their channels as
// ports, a password only from a file nobody else reads, and errors that
// name the file and the field.
#include <sys/stat.h>

#include <fstream>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "engines/core/port_model.h"
#include "engines/sip/sip_config.h"
#include "tiff_maker.h"

namespace qvfax::sip {
namespace {

std::string PasswordFile(const char* name, mode_t mode, const char* text = "s3cret\n") {
  const std::string path = qvfax::testing::ScratchPath(name);
  std::ofstream(path) << text;
  ::chmod(path.c_str(), mode);
  return path;
}

TEST(SipConfig, AccountsAreReadWithTheirDefaultsAndTheirChannelsArePorts) {
  const std::string secret = PasswordFile("trunk.secret", 0600);
  const auto config = ParseSipConfig(fmt::format(R"({{"accounts": [
      {{"user": "4930123456", "domain": "sip.example.net", "registrar": "sip:sip.example.net",
        "password_file": "{}", "channels": 3, "t38": "preferred", "use": "both"}},
      {{"name": "pbx", "user": "fax", "domain": "10.0.0.1", "proxy": "sip:10.0.0.1;lr", "codecs": ["PCMU"],
        "t38": "off", "t38_pacing": "always"}}],
      "listen": "[::1]:5080", "external_address": "203.0.113.7", "local_id": "+49 30 123456"}})", secret),
      "sip.json");
  ASSERT_EQ(config.accounts.size(), 2u);
  const auto& trunk = config.accounts[0];
  EXPECT_EQ(trunk.name, "4930123456@sip.example.net");
  EXPECT_EQ(trunk.auth_user, "4930123456");
  EXPECT_EQ(trunk.password, "s3cret");
  EXPECT_EQ(trunk.t38, T38Use::kPreferred);
  EXPECT_FALSE(trunk.t38_always_paced);
  EXPECT_TRUE(trunk.sends && trunk.answers);
  EXPECT_EQ(trunk.codecs, (std::vector<std::string>{"PCMA", "PCMU"}));
  const auto& pbx = config.accounts[1];
  EXPECT_TRUE(pbx.password.empty());
  EXPECT_EQ(pbx.codecs, std::vector<std::string>{"PCMU"});
  EXPECT_TRUE(pbx.sends && !pbx.answers);
  EXPECT_TRUE(pbx.t38_always_paced);
  EXPECT_EQ(config.listen_host, "::1");
  EXPECT_EQ(config.listen_port, 5080);
  const auto ports = config.Ports();
  ASSERT_EQ(ports.size(), 4u);
  EXPECT_EQ(ports[2].name, "sip2");
  EXPECT_EQ(ports[2].account, 0u);
  EXPECT_EQ(ports[3].name, "sip3");
  EXPECT_EQ(ports[3].account, 1u);
}

TEST(SipConfig, ErrorsNameTheFileAndTheField) {
  const std::string open = PasswordFile("open.secret", 0644);
  const std::string empty = PasswordFile("empty.secret", 0600, "\n");
  const std::string a = R"({"user": "fax", "domain": "example.net")";
  const std::pair<std::string, std::string> rows[] = {
      {"[", "sip.json: (file): is not JSON"},
      {"{}", "sip.json: accounts: must list at least one account"},
      {R"({"accounts": [{"domain": "example.net"}]})", "sip.json: accounts[0].user: must be the user part"},
      {R"({"accounts": [{"user": "a@b", "domain": "example.net"}]})", "sip.json: accounts[0].user: must be"},
      {"{\"accounts\": [" + a + ", \"registrar\": \"example.net\"}]}", "sip.json: accounts[0].registrar: must be a sip: URI"},
      {"{\"accounts\": [" + a + ", \"registrar\": \"sip:example.net\"}]}",
       "sip.json: accounts[0].password_file: must name the password's file"},
      {"{\"accounts\": [" + a + ", \"password_file\": \"" + open + "\"}]}",
       "sip.json: accounts[0].password_file: \"" + open + "\" may be read by others (mode 0644): chmod 600 it"},
      {"{\"accounts\": [" + a + ", \"password_file\": \"" + empty + "\"}]}", "sip.json: accounts[0].password_file: \"" + empty + "\" holds no password"},
      {"{\"accounts\": [" + a + ", \"password_file\": \"/nonexistent\"}]}", "sip.json: accounts[0].password_file: \"/nonexistent\" cannot be read"},
      {"{\"accounts\": [" + a + ", \"codecs\": [\"G729\"]}]}", "sip.json: accounts[0].codecs: must be a list of PCMA and PCMU"},
      {"{\"accounts\": [" + a + ", \"t38\": \"maybe\"}]}", "sip.json: accounts[0].t38: must be on, off or preferred, not \"maybe\""},
      {"{\"accounts\": [" + a + ", \"t38_pacing\": \"never\"}]}",
       "sip.json: accounts[0].t38_pacing: must be auto or always, not \"never\""},
      {"{\"accounts\": [" + a + ", \"channels\": 0}]}", "sip.json: accounts[0].channels: must be from 1 to 1000"},
      {"{\"accounts\": [" + a + ", \"secret\": \"x\"}]}", "sip.json: accounts[0].secret: unknown field"},
      {"{\"accounts\": [" + a + "}, " + a + "}]}", "sip.json: accounts[1].name: \"fax@example.net\" is listed twice"},
      {"{\"accounts\": [" + a + "}], \"listen\": \"example.net:5060\"}", "sip.json: listen: must be ADDRESS:PORT"},
      {"{\"accounts\": [" + a + "}], \"listen\": \"0.0.0.0:0\"}", "sip.json: listen: must be ADDRESS:PORT"},
      {"{\"accounts\": [" + a + "}], \"rtp_ports\": [30000, 20000]}", "sip.json: rtp_ports: must be [FIRST, LAST]"},
      {"{\"accounts\": [" + a + ", \"channels\": 10}], \"rtp_ports\": [20000, 20009]}",
       "sip.json: rtp_ports: must hold two ports for each of the 10 channels"},
      {"{\"accounts\": [" + a + "}], \"external_address\": \"nat.example.net\"}", "sip.json: external_address: must be an IP address"},
      {"{\"accounts\": [" + a + "}], \"local_id\": \"FAX\"}", "sip.json: local_id: must be at most 20 digits"},
  };
  for (const auto& [text, error] : rows) {
    try {
      ParseSipConfig(text, "sip.json");
      ADD_FAILURE() << "accepted " << text;
    } catch (const core::ConfigError& e) {
      EXPECT_EQ(std::string(e.what()).rfind(error, 0), 0u) << e.what();
    }
  }
}

}  // namespace
}  // namespace qvfax::sip
