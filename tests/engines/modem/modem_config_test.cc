// The modem engine's configuration file: what it accepts, and errors that
// name the file and the field.
#include <gtest/gtest.h>

#include "engines/modem/modem_config.h"

namespace qvfax::modem {
namespace {

TEST(ModemConfig, ReadsPortsWithTheirDefaults) {
  const auto config = ParseModemConfig(
      R"({"ports": [{"device": "/dev/ttyUSB0"}, {"device": "/dev/ttyIAX0", "name": "voip", "flow": "none",
          "speed": 38400, "dial_tone": "none"}], "lock_folder": "/run/lock", "dial_timeout_s": 60})",
      "modems.json");
  ASSERT_EQ(config.ports.size(), 2u);
  EXPECT_EQ(config.ports[0].name, "ttyUSB0");
  EXPECT_TRUE(config.ports[0].hardware_flow);
  EXPECT_EQ(config.ports[0].speed, 115200);
  EXPECT_EQ(config.ports[0].dial_tone, DialToneCheck::kAuto);
  EXPECT_EQ(config.ports[1].name, "voip");
  EXPECT_FALSE(config.ports[1].hardware_flow);
  EXPECT_EQ(config.ports[1].speed, 38400);
  EXPECT_EQ(config.ports[1].dial_tone, DialToneCheck::kNone);
  EXPECT_EQ(config.lock_folder, "/run/lock");
  EXPECT_EQ(config.dial_timeout_ms, 60000);
}

TEST(ModemConfig, ErrorsNameTheFileAndTheField) {
  const std::pair<const char*, const char*> rows[] = {
      {"{", "modems.json: (file): not valid JSON"},
      {"{}", "modems.json: ports: must be a list of at least one port"},
      {R"({"ports": []})", "modems.json: ports: must be a list of at least one port"},
      {R"({"ports": [{}]})", "modems.json: ports[0].device: must be the device's full path"},
      {R"({"ports": [{"device": "ttyS0"}]})", "modems.json: ports[0].device: must be the device's full path"},
      {R"({"ports": [{"device": "/dev/a", "name": "x"}, {"device": "/dev/b", "name": "x"}]})",
       "modems.json: ports[1].name: \"x\" is listed twice"},
      {R"({"ports": [{"device": "/dev/a", "speed": 14400}]})", "modems.json: ports[0].speed: must be 9600"},
      {R"({"ports": [{"device": "/dev/a", "flow": "xon"}]})", "modems.json: ports[0].flow: must be hardware or none"},
      {R"({"ports": [{"device": "/dev/a", "dial_tone": "maybe"}]})", "modems.json: ports[0].dial_tone: must be auto"},
      {R"({"ports": [{"device": "/dev/a", "baud": 1}]})", "modems.json: ports[0].baud: unknown field"},
      {R"({"ports": [{"device": "/dev/a"}], "dial_timeout_s": 1})", "modems.json: dial_timeout_s: must be from 10"},
  };
  for (const auto& [text, error] : rows) {
    try {
      ParseModemConfig(text, "modems.json");
      ADD_FAILURE() << "accepted " << text;
    } catch (const core::ConfigError& e) {
      EXPECT_EQ(std::string(e.what()).rfind(error, 0), 0u) << e.what();
    }
  }
  EXPECT_THROW(LoadModemConfig("/nonexistent/modems.json"), core::ConfigError);
}

}  // namespace
}  // namespace qvfax::modem
