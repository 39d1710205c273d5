#include "engines/sim/sim_config.h"

#include <gtest/gtest.h>

namespace qvfax::sim {
namespace {

TEST(SimConfig, TheDefaultHasAModemOnTtyS0AndNothingOnTtyS1) {
  const auto config = DefaultConfig();
  ASSERT_EQ(config.ports.size(), 2u);
  EXPECT_EQ(config.ports[0].name, "ttyS0");
  ASSERT_TRUE(config.ports[0].modem.has_value());
  EXPECT_EQ(config.ports[0].modem->classes, "1,1.0,2,2.0");
  EXPECT_EQ(config.ports[0].modem->dial_tone, 1);
  EXPECT_EQ(config.ports[1].name, "ttyS1");
  EXPECT_FALSE(config.ports[1].modem.has_value());
  EXPECT_EQ(config.other_numbers.answer, Answer::kFax);
}

TEST(SimConfig, ReadsPortsRemotesAndTiming) {
  const auto config = ParseConfig(R"({
    "ports": [{"name": "ttyUSB0", "modem": {"classes": "1", "dial_tone": 0, "open_port": -22}},
              {"name": "ttyUSB1"}],
    "remotes": [{"number": "555", "answer": "busy"},
                {"number": "556", "station_id": "REMOTE", "speed": 9600, "fail_at_page": 2}],
    "other_numbers": {"answer": "no_answer"},
    "timing": {"page_ms": 100}
  })", "bank.json");
  EXPECT_EQ(config.ports[0].modem->classes, "1");
  EXPECT_EQ(config.ports[0].modem->dial_tone, 0);
  EXPECT_EQ(config.ports[0].modem->open_port, -22);
  EXPECT_FALSE(config.ports[1].modem.has_value());
  EXPECT_EQ(config.remotes.at("555").answer, Answer::kBusy);
  EXPECT_EQ(config.remotes.at("556").speed, 9600);
  EXPECT_EQ(config.remotes.at("556").fail_at_page, 2);
  EXPECT_EQ(config.other_numbers.answer, Answer::kNoAnswer);
  EXPECT_EQ(config.timing.page_ms, 100);
  EXPECT_EQ(config.timing.dial_ms, DefaultConfig().timing.dial_ms);
}

TEST(SimConfig, NamesTheFileAndTheFieldOfEveryError) {
  struct Row {
    const char* text;
    const char* message;
  };
  const Row rows[] = {
      {"{", "bank.json: (file): not valid JSON at byte 2"},
      {R"({"ports": []})", "bank.json: ports: must be a list of at least one port"},
      {R"({"ports": [{"name": "a b"}]})", "bank.json: ports[0].name: must be a non-empty name without spaces"},
      {R"({"ports": [{"name": "a"}, {"name": "a"}]})", "bank.json: ports[1].name: \"a\" is listed twice"},
      {R"({"ports": [{"name": "a", "modem": {"clases": "1"}}]})", "bank.json: ports[0].modem.clases: unknown field"},
      {R"({"ports": [{"name": "a", "modem": {"dial_tone": "yes"}}]})",
       "bank.json: ports[0].modem.dial_tone: must be a whole number"},
      {R"({"ports": [{"name": "a"}], "remotes": [{"number": "1", "answer": "maybe"}]})",
       "bank.json: remotes[0].answer: must be fax, busy, no_answer or no_carrier, not \"maybe\""},
      {R"({"ports": [{"name": "a"}], "remotes": [{"answer": "busy"}]})", "bank.json: remotes[0].number: is required"},
      {R"({"ports": [{"name": "a"}], "remotes": [{"number": "1", "speed": 1000}]})",
       "bank.json: remotes[0].speed: must be from 2400 to 33600"},
      {R"({"ports": [{"name": "a"}], "timing": {"page_ms": 0}})", "bank.json: timing.page_ms: must be from 1 to 600000"},
      {R"({"ports": [{"name": "a"}], "extra": 1})", "bank.json: extra: unknown field"},
  };
  for (const Row& row : rows) {
    try {
      ParseConfig(row.text, "bank.json");
      ADD_FAILURE() << row.text << " was accepted";
    } catch (const ConfigError& e) {
      EXPECT_STREQ(e.what(), row.message) << row.text;
    }
  }
}

TEST(SimConfig, AMissingFileIsReportedWithItsName) {
  try {
    LoadConfig("/nonexistent/bank.json");
    FAIL();
  } catch (const ConfigError& e) {
    EXPECT_STREQ(e.what(), "/nonexistent/bank.json: cannot be read");
  }
}

}  // namespace
}  // namespace qvfax::sim
