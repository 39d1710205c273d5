// The sip engine's configuration: the SIP accounts it calls through and
// answers on, each with its number of call channels, and how media goes.
// Read from a JSON file; every error names the file and the field. A
// password is never in the file itself, only in a file of its own that
// nobody else may read.
#pragma once

#include <string>
#include <vector>

namespace qvfax::sip {

enum class T38Use { kOff, kOn, kPreferred };  // on: when the far end asks, or after its CED; preferred: from the start

struct SipAccount {
  std::string name;          // how logs and errors name it
  std::string user;          // the user part of our address (the number)
  std::string domain;        // of our address
  std::string registrar;     // a SIP URI; empty: no registration (a trunk that knows our address)
  std::string proxy;         // every request goes through it; empty: straight to the domain
  std::string auth_user;     // for digest authentication; the user by default
  std::string password;      // read from `password_file`; empty with no file
  int channels = 1;          // calls at once
  int register_expires_s = 600;
  std::vector<std::string> codecs = {"PCMA", "PCMU"};  // in our order of preference
  T38Use t38 = T38Use::kOn;
  // T.38 image data goes at the pace of its modulation even when the far end
  // says it is a terminal that could take it faster.
  bool t38_always_paced = false;
  bool sends = true;
  bool answers = false;
};

// One call channel of an account: a port of the engine.
struct SipPort {
  std::string name;  // sip0, sip1, ... across the accounts in order
  size_t account;
};

struct SipConfig {
  std::vector<SipAccount> accounts;
  std::string listen_host = "0.0.0.0";
  int listen_port = 5060;
  int rtp_first = 20000, rtp_last = 30000;  // UDP ports for media, two a call
  std::string external_address;  // advertised in Contact and SDP behind NAT; empty: the local one
  std::string local_id;          // our station id
  int options_interval_s = 30;   // keep-alive to the proxy or registrar; 0: none
  int jitter_ms = 60;            // G.711's fixed playout delay
  int t38_copies = 3;
  int t38_max_datagram = 400;
  int answer_timeout_s = 60;  // how long a call we place may ring
  std::string spool;          // where documents wait while they are sent

  std::vector<SipPort> Ports() const;
};

// Throws core::ConfigError naming `source` and the field.
SipConfig ParseSipConfig(const std::string& json_text, const std::string& source);
SipConfig LoadSipConfig(const std::string& path);

}  // namespace qvfax::sip
