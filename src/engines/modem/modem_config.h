// The modem engine's configuration: which serial devices hold fax modems and
// how to talk to them. Read from a JSON file; every error names the file and
// the field. With no file, the serial devices that exist are used.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engines/core/port_model.h"
#include "engines/modem/modem_probe.h"

namespace qvfax::modem {

struct ModemPort {
  std::string name;     // the port name the server uses; the device's file name by default
  std::string device;   // e.g. /dev/ttyUSB0
  int speed = 115200;
  bool hardware_flow = true;
  DialToneCheck dial_tone = DialToneCheck::kAuto;
  std::string reset;                // sent first when the port opens, e.g. ATZ
  std::vector<std::string> init;    // then these, and again before each call
  std::string dial_prefix;          // before every number: an outside line, "," a pause
  std::optional<bool> tone;         // tone (true) or pulse dialling; unset: as the client asks
  std::string speaker;              // the ATM/ATL part of the dial, e.g. "M0"; unset: as the client asks
  std::optional<int> answer_timeout_ms;  // how long a dialled number may ring; unset: dial_timeout_s
  std::string local_id;             // our TSI when the client sets none; unset: the engine's
  bool sends = true;                // the queue may dial out on it
  bool answers = false;             // qvfaxd answers the calls that ring on it
  int rings = 2;                    // answered after this many rings (caller ID comes with the first)
  std::string caller_id = "AT+VCID=1";  // turns caller ID on while it waits for calls; "" for none
};

struct ModemConfig {
  std::vector<ModemPort> ports;
  std::string lock_folder = "/var/lock";
  int command_timeout_ms = 3000;
  int dial_timeout_ms = 90000;
  std::string spool;    // where documents wait while they are sent
  std::string local_id;  // our TSI on every port when neither the client nor the port names one
};

// The serial devices that exist: /dev/ttyS* with a UART behind them,
// /dev/ttyUSB* and /dev/ttyACM*.
ModemConfig DefaultModemConfig();

// Throws core::ConfigError naming `source` and the field.
ModemConfig ParseModemConfig(const std::string& json_text, const std::string& source);
ModemConfig LoadModemConfig(const std::string& path);

}  // namespace qvfax::modem
