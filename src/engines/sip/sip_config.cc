#include "engines/sip/sip_config.h"

#include <sys/stat.h>

#include <arpa/inet.h>

#include <fstream>
#include <set>

#include "engines/config_reader.h"
#include "engines/core/port_model.h"
#include "platform/xdg_paths.h"

namespace qvfax::sip {

namespace {

using json = nlohmann::json;
using Reader = ConfigReader<core::ConfigError>;

bool IsSipUri(const std::string& uri) {
  return (uri.rfind("sip:", 0) == 0 || uri.rfind("sips:", 0) == 0) && uri.find(' ') == std::string::npos &&
         uri.size() > uri.find(':') + 1;
}

bool IsAddress(const std::string& text) {
  in6_addr any{};
  return inet_pton(AF_INET, text.c_str(), &any) == 1 || inet_pton(AF_INET6, text.c_str(), &any) == 1;
}

// The first line of a file that only its owner may read or write.
std::string ReadPassword(const Reader& r, const std::string& where, const std::string& file) {
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0) r.Fail(where, "\"" + file + "\" cannot be read");
  if ((info.st_mode & 077) != 0) {
    r.Fail(where, fmt::format("\"{}\" may be read by others (mode {:04o}): chmod 600 it", file, info.st_mode & 0777));
  }
  std::ifstream in(file);
  std::string password;
  if (!in || !std::getline(in, password)) r.Fail(where, "\"" + file + "\" cannot be read");
  while (!password.empty() && (password.back() == '\r' || password.back() == ' ')) password.pop_back();
  if (password.empty()) r.Fail(where, "\"" + file + "\" holds no password");
  return password;
}

SipAccount ReadAccount(const Reader& r, const json& a, const std::string& where) {
  r.OnlyKnownKeys(a, where, {"name", "user", "domain", "registrar", "proxy", "auth_user", "password_file",
                             "channels", "register_expires_s", "codecs", "t38", "t38_pacing", "use"});
  SipAccount account;
  account.user = r.String(a, where, "user", "");
  if (account.user.empty() || account.user.find_first_of(" @:;") != std::string::npos) {
    r.Fail(where + ".user", "must be the user part of the address, without '@', ':' or ';'");
  }
  account.domain = r.String(a, where, "domain", "");
  if (account.domain.empty() || account.domain.find_first_of(" @;") != std::string::npos) {
    r.Fail(where + ".domain", "must be the host part of the address");
  }
  account.name = r.String(a, where, "name", account.user + "@" + account.domain);
  for (auto [key, field] : {std::pair{"registrar", &account.registrar}, std::pair{"proxy", &account.proxy}}) {
    *field = r.String(a, where, key, "");
    if (!field->empty() && !IsSipUri(*field)) r.Fail(Reader::Join(where, key), "must be a sip: URI");
  }
  account.auth_user = r.String(a, where, "auth_user", account.user);
  const std::string password_file = r.String(a, where, "password_file", "");
  if (!password_file.empty()) account.password = ReadPassword(r, where + ".password_file", password_file);
  if (!account.registrar.empty() && account.password.empty()) {
    r.Fail(where + ".password_file", "must name the password's file: a registrar asks for it");
  }
  account.channels = r.Integer(a, where, "channels", account.channels, 1, 1000);
  account.register_expires_s = r.Integer(a, where, "register_expires_s", account.register_expires_s, 60, 86400);
  if (a.contains("codecs")) {
    const auto& codecs = a["codecs"];
    if (!codecs.is_array() || codecs.empty()) r.Fail(where + ".codecs", "must be a list of PCMA and PCMU");
    account.codecs.clear();
    for (const auto& c : codecs) {
      if (!c.is_string() || (c != "PCMA" && c != "PCMU")) r.Fail(where + ".codecs", "must be a list of PCMA and PCMU");
      account.codecs.push_back(c.get<std::string>());
    }
  }
  const std::string t38 = r.OneOf(a, where, "t38", {"on", "off", "preferred"});
  account.t38 = t38 == "off" ? T38Use::kOff : t38 == "preferred" ? T38Use::kPreferred : T38Use::kOn;
  account.t38_always_paced = r.OneOf(a, where, "t38_pacing", {"auto", "always"}) == "always";
  const std::string use = r.OneOf(a, where, "use", {"send", "receive", "both"});
  account.sends = use != "receive";
  account.answers = use != "send";
  return account;
}

}  // namespace

std::vector<SipPort> SipConfig::Ports() const {
  std::vector<SipPort> ports;
  for (size_t a = 0; a < accounts.size(); ++a) {
    for (int c = 0; c < accounts[a].channels; ++c) ports.push_back({fmt::format("sip{}", ports.size()), a});
  }
  return ports;
}

SipConfig ParseSipConfig(const std::string& json_text, const std::string& source) {
  Reader r(source);
  json doc;
  try {
    doc = json::parse(json_text);
  } catch (const json::parse_error& e) {
    r.Fail("(file)", std::string("is not JSON: ") + e.what());
  }
  r.OnlyKnownKeys(doc, "", {"accounts", "listen", "rtp_ports", "external_address", "local_id", "options_interval_s",
                            "jitter_ms", "t38_copies", "t38_max_datagram", "answer_timeout_s", "spool"});
  SipConfig config;
  config.spool = r.String(doc, "", "spool", (xdg::StateHome() / "qvfax" / "spool").string());
  config.answer_timeout_s = r.Integer(doc, "", "answer_timeout_s", config.answer_timeout_s, 5, 300);
  if (!doc.contains("accounts") || !doc["accounts"].is_array() || doc["accounts"].empty()) {
    r.Fail("accounts", "must list at least one account");
  }
  std::set<std::string> names;
  for (size_t i = 0; i < doc["accounts"].size(); ++i) {
    const std::string where = fmt::format("accounts[{}]", i);
    config.accounts.push_back(ReadAccount(r, doc["accounts"][i], where));
    if (!names.insert(config.accounts.back().name).second) {
      r.Fail(where + ".name", "\"" + config.accounts.back().name + "\" is listed twice");
    }
  }
  const std::string listen = r.String(doc, "", "listen", "0.0.0.0:5060");
  const auto colon = listen.rfind(':');
  int port = 0;
  const std::string host = colon == std::string::npos ? "" : listen.substr(0, colon);
  const std::string bare = host.size() > 2 && host.front() == '[' ? host.substr(1, host.size() - 2) : host;
  try {
    port = colon == std::string::npos ? 0 : std::stoi(listen.substr(colon + 1));
  } catch (const std::exception&) {
    port = 0;
  }
  if (!IsAddress(bare) || port < 1 || port > 65535) r.Fail("listen", "must be ADDRESS:PORT, e.g. 0.0.0.0:5060");
  config.listen_host = bare;
  config.listen_port = port;
  if (doc.contains("rtp_ports")) {
    const auto& range = doc["rtp_ports"];
    if (!range.is_array() || range.size() != 2 || !range[0].is_number_integer() || !range[1].is_number_integer() ||
        range[0].get<int>() < 1024 || range[1].get<int>() > 65535 || range[1].get<int>() - range[0].get<int>() < 1) {
      r.Fail("rtp_ports", "must be [FIRST, LAST], from 1024 to 65535, FIRST below LAST");
    }
    config.rtp_first = range[0].get<int>();
    config.rtp_last = range[1].get<int>();
  }
  config.external_address = r.String(doc, "", "external_address", "");
  if (!config.external_address.empty() && !IsAddress(config.external_address)) {
    r.Fail("external_address", "must be an IP address");
  }
  config.local_id = r.StationId(doc, "", "local_id", "");
  config.options_interval_s = r.Integer(doc, "", "options_interval_s", config.options_interval_s, 0, 3600);
  config.jitter_ms = r.Integer(doc, "", "jitter_ms", config.jitter_ms, 20, 400);
  config.t38_copies = r.Integer(doc, "", "t38_copies", config.t38_copies, 0, 8);
  config.t38_max_datagram = r.Integer(doc, "", "t38_max_datagram", config.t38_max_datagram, 100, 1400);
  // Two ports a call: each channel needs its pair.
  size_t channels = 0;
  for (const auto& a : config.accounts) channels += static_cast<size_t>(a.channels);
  if (static_cast<size_t>(config.rtp_last - config.rtp_first + 1) < 2 * channels) {
    r.Fail("rtp_ports", fmt::format("must hold two ports for each of the {} channels", channels));
  }
  return config;
}

SipConfig LoadSipConfig(const std::string& path) { return ParseSipConfig(ReadConfigFile<core::ConfigError>(path), path); }

}  // namespace qvfax::sip
