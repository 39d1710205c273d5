// What an engine knows of a port and the modem on it, whether it was read
// from a configuration file or asked of a real modem.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace qvfax::core {

struct Modem {
  std::string identity = "QVSIM-144";
  std::string description = "Simulated fax modem V.17 14400";
  std::string classes = "1,1.0,2,2.0";
  int32_t dial_tone = 1;     // what TestDialTone answers: 1 tone, 0 none, -1 no modem
  int32_t test_modem = 0;    // what TestModem returns
  int32_t open_port = 0;     // what OpenPort returns
  bool ecm = true;
  bool bft = false;
  bool colour = false;
  int32_t max_baud = 7;      // enmQvBkgFaxVmBaudRate code of the fastest speed
};

struct Port {
  std::string name;
  std::optional<Modem> modem;  // nothing attached when empty
};

// A configuration file that cannot be used; the text names the file and the field.
class ConfigError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace qvfax::core
