// What the simulated modem bank holds: its ports and their modems, and the
// remote numbers a call can reach. Read from a JSON file; every field is
// checked and an error names the file and the offending field.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engines/core/port_model.h"

namespace qvfax::sim {

using Modem = core::Modem;
using Port = core::Port;
using ConfigError = core::ConfigError;

enum class Answer { kFax, kBusy, kNoAnswer, kNoCarrier };

struct Remote {
  Answer answer = Answer::kFax;
  std::string station_id = "+39 06 5550100";
  int32_t speed = 14400;     // bit/s the line trains at
  int32_t fail_at_page = 0;  // 0: never; N: the line drops during page N
  int32_t reject_from_page = 0;  // 0: never; N: pages from N on are rejected (RTN), the call still ends normally
  bool ecm = true;
  int32_t busy_first = 0;    // the first N calls to the number find it busy
};

struct Timing {
  int32_t dial_ms = 3000;
  int32_t answer_ms = 4000;      // rings until the remote picks up
  int32_t training_ms = 3000;    // phase B
  int32_t page_ms = 12000;       // one page at 14400 bit/s; slower lines take longer
  int32_t hangup_ms = 1500;
};

struct Config {
  std::vector<Port> ports;
  std::map<std::string, Remote> remotes;  // by number dialled
  Remote other_numbers;                   // any number not listed
  Timing timing;
  // Calls made so far to each number, by every bank of one registration: a
  // retry of a fax is made by a new server object with a bank of its own.
  std::shared_ptr<std::map<std::string, int>> calls = std::make_shared<std::map<std::string, int>>();
};


// Two ports: "ttyS0" with a class 1/1.0/2/2.0 modem and a dial tone, "ttyS1"
// with nothing attached; every number answers as a fax machine.
Config DefaultConfig();

// `source` names the text in error messages (a file name).
Config ParseConfig(const std::string& json_text, const std::string& source);
Config LoadConfig(const std::string& path);

}  // namespace qvfax::sim
