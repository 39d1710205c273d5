#include "engines/sim/sim_config.h"

#include "engines/config_reader.h"

#include <fstream>
#include <set>
#include <sstream>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

namespace qvfax::sim {

namespace {

using nlohmann::json;
using ConfigReader = qvfax::ConfigReader<ConfigError>;

Modem ReadModem(const ConfigReader& r, const json& j, const std::string& where) {
  r.OnlyKnownKeys(j, where, {"identity", "description", "classes", "dial_tone", "test_modem",
                             "open_port", "ecm", "bft", "colour", "max_baud"});
  Modem m;
  m.identity = r.String(j, where, "identity", m.identity);
  m.description = r.String(j, where, "description", m.description);
  m.classes = r.String(j, where, "classes", m.classes);
  m.dial_tone = r.Integer(j, where, "dial_tone", m.dial_tone, INT32_MIN, INT32_MAX);
  m.test_modem = r.Integer(j, where, "test_modem", m.test_modem, -176, 0);
  m.open_port = r.Integer(j, where, "open_port", m.open_port, -176, 0);
  m.ecm = r.Boolean(j, where, "ecm", m.ecm);
  m.bft = r.Boolean(j, where, "bft", m.bft);
  m.colour = r.Boolean(j, where, "colour", m.colour);
  m.max_baud = r.Integer(j, where, "max_baud", m.max_baud, 2, 15);
  return m;
}

Remote ReadRemote(const ConfigReader& r, const json& j, const std::string& where, bool with_number) {
  std::set<std::string> known{"answer", "station_id", "speed", "fail_at_page", "reject_from_page", "ecm", "busy_first"};
  if (with_number) known.insert("number");
  r.OnlyKnownKeys(j, where, known);
  Remote remote;
  const std::string answer = r.String(j, where, "answer", "fax");
  if (answer == "fax") {
    remote.answer = Answer::kFax;
  } else if (answer == "busy") {
    remote.answer = Answer::kBusy;
  } else if (answer == "no_answer") {
    remote.answer = Answer::kNoAnswer;
  } else if (answer == "no_carrier") {
    remote.answer = Answer::kNoCarrier;
  } else {
    r.Fail(ConfigReader::Join(where, "answer"), "must be fax, busy, no_answer or no_carrier, not \"" + answer + "\"");
  }
  remote.station_id = r.String(j, where, "station_id", remote.station_id);
  remote.speed = r.Integer(j, where, "speed", remote.speed, 2400, 33600);
  if (remote.speed % 2400 != 0) r.Fail(ConfigReader::Join(where, "speed"), "must be a multiple of 2400");
  remote.fail_at_page = r.Integer(j, where, "fail_at_page", 0, 0, 32767);
  remote.reject_from_page = r.Integer(j, where, "reject_from_page", 0, 0, 32767);
  remote.ecm = r.Boolean(j, where, "ecm", remote.ecm);
  remote.busy_first = r.Integer(j, where, "busy_first", 0, 0, 1000);
  return remote;
}

}  // namespace

Config DefaultConfig() {
  Config config;
  config.ports.push_back({"ttyS0", Modem{}});
  config.ports.push_back({"ttyS1", std::nullopt});
  return config;
}

Config ParseConfig(const std::string& json_text, const std::string& source) {
  const ConfigReader r(source);
  json doc;
  try {
    doc = json::parse(json_text);
  } catch (const json::parse_error& e) {
    r.Fail("(file)", fmt::format("not valid JSON at byte {}", e.byte));
  }
  r.OnlyKnownKeys(doc, "", {"ports", "remotes", "other_numbers", "timing"});
  Config config;
  if (!doc.contains("ports") || !doc["ports"].is_array() || doc["ports"].empty()) {
    r.Fail("ports", "must be a list of at least one port");
  }
  std::set<std::string> names;
  for (size_t i = 0; i < doc["ports"].size(); ++i) {
    const auto where = fmt::format("ports[{}]", i);
    const auto& p = doc["ports"][i];
    r.OnlyKnownKeys(p, where, {"name", "modem"});
    Port port;
    port.name = r.String(p, where, "name", "");
    if (port.name.empty() || port.name.find(' ') != std::string::npos) {
      r.Fail(where + ".name", "must be a non-empty name without spaces");
    }
    if (!names.insert(port.name).second) r.Fail(where + ".name", "\"" + port.name + "\" is listed twice");
    if (p.contains("modem") && !p["modem"].is_null()) port.modem = ReadModem(r, p["modem"], where + ".modem");
    config.ports.push_back(std::move(port));
  }
  if (doc.contains("remotes")) {
    if (!doc["remotes"].is_array()) r.Fail("remotes", "must be a list");
    for (size_t i = 0; i < doc["remotes"].size(); ++i) {
      const auto where = fmt::format("remotes[{}]", i);
      const auto& j = doc["remotes"][i];
      const auto number = r.String(j, where, "number", "");
      if (number.empty()) r.Fail(where + ".number", "is required");
      if (config.remotes.count(number)) r.Fail(where + ".number", "\"" + number + "\" is listed twice");
      config.remotes[number] = ReadRemote(r, j, where, true);
    }
  }
  if (doc.contains("other_numbers")) {
    config.other_numbers = ReadRemote(r, doc["other_numbers"], "other_numbers", false);
  }
  if (doc.contains("timing")) {
    const auto& t = doc["timing"];
    r.OnlyKnownKeys(t, "timing", {"dial_ms", "answer_ms", "training_ms", "page_ms", "hangup_ms"});
    auto& timing = config.timing;
    timing.dial_ms = r.Integer(t, "timing", "dial_ms", timing.dial_ms, 1, 600000);
    timing.answer_ms = r.Integer(t, "timing", "answer_ms", timing.answer_ms, 1, 600000);
    timing.training_ms = r.Integer(t, "timing", "training_ms", timing.training_ms, 1, 600000);
    timing.page_ms = r.Integer(t, "timing", "page_ms", timing.page_ms, 1, 600000);
    timing.hangup_ms = r.Integer(t, "timing", "hangup_ms", timing.hangup_ms, 1, 600000);
  }
  return config;
}

Config LoadConfig(const std::string& path) {
  return ParseConfig(ReadConfigFile<ConfigError>(path), path);
}

}  // namespace qvfax::sim
