#include "engines/line/line_config.h"

#include <fstream>
#include <sstream>

#include "engines/config_reader.h"
#include "platform/xdg_paths.h"

namespace qvfax::line {

namespace {

using nlohmann::json;
using Reader = ConfigReader<core::ConfigError>;

core::Modem SoftModem(const std::string& name) {
  core::Modem modem;
  modem.identity = "QVLINE-" + name;
  modem.description = "qvfax soft modem V.17/V.29/V.27ter on " + name;
  modem.classes = "1,1.0";
  modem.ecm = true;
  modem.max_baud = 7;  // 14400
  return modem;
}

RemoteFax ReadRemote(const Reader& r, const json& j, const std::string& where, bool with_number) {
  std::set<std::string> known{"answer", "rings", "csi", "ecm", "t6", "v17", "noise_dbm0"};
  if (with_number) known.insert("number");
  r.OnlyKnownKeys(j, where, known);
  RemoteFax remote;
  const std::string answer = r.String(j, where, "answer", "fax");
  if (answer == "fax") {
    remote.answer = RemoteFax::Answer::kFax;
  } else if (answer == "busy") {
    remote.answer = RemoteFax::Answer::kBusy;
  } else if (answer == "no_answer") {
    remote.answer = RemoteFax::Answer::kNoAnswer;
  } else if (answer == "voice") {
    remote.answer = RemoteFax::Answer::kVoice;
  } else {
    r.Fail(Reader::Join(where, "answer"), "must be fax, busy, no_answer or voice, not \"" + answer + "\"");
  }
  remote.rings = r.Integer(j, where, "rings", remote.rings, 0, 20);
  remote.csi = r.String(j, where, "csi", remote.csi);
  if (remote.csi.size() > 20) r.Fail(Reader::Join(where, "csi"), "must be at most 20 characters");
  remote.ecm = r.Boolean(j, where, "ecm", remote.ecm);
  remote.t6 = r.Boolean(j, where, "t6", remote.t6);
  remote.v17 = r.Boolean(j, where, "v17", remote.v17);
  remote.noise_dbm0 = r.Number(j, where, "noise_dbm0", 0, -99, -20);
  return remote;
}

}  // namespace

LineConfig DefaultLineConfig() {
  LineConfig config;
  for (const char* name : {"line0", "line1"}) config.ports.push_back({name, SoftModem(name)});
  config.inbox = (xdg::StateHome() / "qvfax" / "inbox").string();
  return config;
}

LineConfig ParseLineConfig(const std::string& json_text, const std::string& source) {
  const Reader r(source);
  json doc = json::parse(json_text, nullptr, false);
  if (doc.is_discarded()) r.Fail("(file)", "not valid JSON");
  r.OnlyKnownKeys(doc, "", {"lines", "directory", "any_number", "inbox", "speed"});
  LineConfig config = DefaultLineConfig();
  if (doc.contains("lines")) {
    if (!doc["lines"].is_array() || doc["lines"].empty()) r.Fail("lines", "must be a list of at least one line");
    config.ports.clear();
    std::set<std::string> names;
    for (size_t i = 0; i < doc["lines"].size(); ++i) {
      const auto where = fmt::format("lines[{}]", i);
      const auto& l = doc["lines"][i];
      r.OnlyKnownKeys(l, where, {"name", "dial_tone", "identity", "description"});
      const std::string name = r.String(l, where, "name", "");
      if (name.empty() || name.find(' ') != std::string::npos) {
        r.Fail(where + ".name", "must be a non-empty name without spaces");
      }
      if (!names.insert(name).second) r.Fail(where + ".name", "\"" + name + "\" is listed twice");
      auto modem = SoftModem(name);
      modem.identity = r.String(l, where, "identity", modem.identity);
      modem.description = r.String(l, where, "description", modem.description);
      modem.dial_tone = r.Boolean(l, where, "dial_tone", true) ? 1 : 0;
      config.ports.push_back({name, modem});
    }
  }
  if (doc.contains("directory")) {
    if (!doc["directory"].is_array()) r.Fail("directory", "must be a list");
    for (size_t i = 0; i < doc["directory"].size(); ++i) {
      const auto where = fmt::format("directory[{}]", i);
      const auto number = r.String(doc["directory"][i], where, "number", "");
      if (number.empty()) r.Fail(where + ".number", "is required");
      config.directory[number] = ReadRemote(r, doc["directory"][i], where, true);
    }
  }
  if (doc.contains("any_number")) config.any_number = ReadRemote(r, doc["any_number"], "any_number", false);
  config.inbox = r.String(doc, "", "inbox", config.inbox);
  config.speed = r.Number(doc, "", "speed", 0, 0, 1e6);
  return config;
}

LineConfig LoadLineConfig(const std::string& path) {
  return ParseLineConfig(ReadConfigFile<core::ConfigError>(path), path);
}

}  // namespace qvfax::line
