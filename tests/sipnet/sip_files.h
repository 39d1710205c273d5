// The test network's pieces a test of the sip engine names: the script
// that runs it, each account's password file, and engine files for qvfax
// processes that call and answer through it.
#pragma once

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "tiff_maker.h"

namespace qvfax::testing {

inline int SipNet(const std::string& arguments) {
  return std::system(("bash " QVFAX_SOURCE_DIR "/scripts/sipnet/sipnet " + arguments).c_str());
}

inline std::string Secret(const std::string& account) { return "/tmp/qvfax-sipnet/" + account + ".secret"; }

// An engine file with one account per entry of `accounts` (JSON members, without the domain).
inline std::string EngineFile(const std::string& name, const std::vector<std::string>& accounts, int sip_port,
                              int rtp_first, const std::string& extra = "") {
  std::string list;
  for (const auto& a : accounts) list += (list.empty() ? "" : ", ") + fmt::format(R"({{"domain": "qvfax.test", {}}})", a);
  const std::string path = ScratchPath(name);
  std::ofstream(path) << fmt::format(R"({{"accounts": [{}], "listen": "127.0.0.1:{}", "rtp_ports": [{}, {}],
                                         "answer_timeout_s": 20, "spool": "{}"{}}})",
                                     list, sip_port, rtp_first, rtp_first + 99, ScratchPath("sip-spool-" + name), extra);
  return path;
}

// An account of the network's, registered with its password.
inline std::string Account(const std::string& name, const std::string& user, const std::string& use,
                           const std::string& t38, const std::string& secret) {
  return fmt::format(
      R"("name": "{}", "user": "{}", "use": "{}", "t38": "{}", "password_file": "{}", "registrar": "sip:127.0.0.1:35060")",
      name, user, use, t38, secret);
}

}  // namespace qvfax::testing
