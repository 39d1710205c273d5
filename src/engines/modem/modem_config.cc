#include "engines/modem/modem_config.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "engines/config_reader.h"
#include "engines/modem/serial_port.h"
#include "platform/xdg_paths.h"

namespace qvfax::modem {

namespace {

using nlohmann::json;
using Reader = ConfigReader<core::ConfigError>;

// A /dev/ttyS device is listed for every possible UART; only those with one
// behind them report a port type.
bool UartPresent(const std::string& device) {
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  serial_struct info{};
  const bool present = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
  ::close(fd);
  return present;
}

std::string DefaultSpool() { return (xdg::StateHome() / "qvfax" / "spool").string(); }

// An AT command as a modem takes it: starts with AT, printable, no line ends.
bool IsAtCommand(const std::string& command) {
  if (command.size() < 2 || (command.compare(0, 2, "AT") != 0 && command.compare(0, 2, "at") != 0)) return false;
  return std::all_of(command.begin(), command.end(), [](char c) { return c >= 0x20 && c < 0x7f; });
}

// The commands and dialling settings real modems differ in.
void ReadModemCommands(const Reader& r, const json& p, const std::string& where, ModemPort& port) {
  port.reset = r.String(p, where, "reset", "");
  if (!port.reset.empty() && !IsAtCommand(port.reset)) r.Fail(where + ".reset", "must be an AT command");
  if (p.contains("init")) {
    const auto& init = p["init"];
    if (!init.is_array()) r.Fail(where + ".init", "must be a list of AT commands");
    for (const auto& command : init) {
      if (!command.is_string() || !IsAtCommand(command.get<std::string>())) {
        r.Fail(where + ".init", "must be a list of AT commands");
      }
      port.init.push_back(command.get<std::string>());
    }
  }
  port.dial_prefix = r.String(p, where, "dial_prefix", "");
  if (port.dial_prefix.find_first_not_of("0123456789*#,WwPpTt!") != std::string::npos) {
    r.Fail(where + ".dial_prefix", "may hold only digits, * # , W P T and !");
  }
  const std::string dialing = r.String(p, where, "dialing", "");
  if (dialing == "tone" || dialing == "pulse") {
    port.tone = dialing == "tone";
  } else if (!dialing.empty()) {
    r.Fail(where + ".dialing", "must be tone or pulse, not \"" + dialing + "\"");
  }
  const std::string speaker = r.String(p, where, "speaker", "");
  if (speaker == "off") {
    port.speaker = "M0";
  } else if (speaker == "dialing") {
    port.speaker = "M1";
  } else if (speaker == "on") {
    port.speaker = "M2";
  } else if (!speaker.empty()) {
    r.Fail(where + ".speaker", "must be off, dialing or on, not \"" + speaker + "\"");
  }
  if (p.contains("answer_timeout_s")) port.answer_timeout_ms = r.Integer(p, where, "answer_timeout_s", 60, 10, 600) * 1000;
  port.local_id = r.StationId(p, where, "local_id", "");
  const std::string use = r.OneOf(p, where, "use", {"send", "receive", "both"});
  port.sends = use != "receive";
  port.answers = use != "send";
  port.rings = r.Integer(p, where, "rings", port.rings, 1, 20);
  port.caller_id = r.String(p, where, "caller_id", port.caller_id);
  if (!port.caller_id.empty() && !IsAtCommand(port.caller_id)) r.Fail(where + ".caller_id", "must be an AT command or \"\"");
}

}  // namespace

ModemConfig DefaultModemConfig() {
  ModemConfig config;
  config.spool = DefaultSpool();
  std::vector<std::string> devices;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/dev", ec)) {
    const std::string name = entry.path().filename().string();
    const bool usb = name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0;
    const bool uart = name.rfind("ttyS", 0) == 0;
    if (usb || (uart && UartPresent(entry.path().string()))) devices.push_back(entry.path().string());
  }
  std::sort(devices.begin(), devices.end());
  for (const auto& device : devices) {
    ModemPort port;
    port.device = device;
    port.name = std::filesystem::path(device).filename().string();
    config.ports.push_back(port);
  }
  return config;
}

ModemConfig ParseModemConfig(const std::string& json_text, const std::string& source) {
  const Reader r(source);
  json doc = json::parse(json_text, nullptr, false);
  if (doc.is_discarded()) r.Fail("(file)", "not valid JSON");
  r.OnlyKnownKeys(doc, "", {"ports", "lock_folder", "command_timeout_ms", "dial_timeout_s", "spool", "local_id"});
  ModemConfig config;
  config.spool = DefaultSpool();
  if (!doc.contains("ports") || !doc["ports"].is_array() || doc["ports"].empty()) {
    r.Fail("ports", "must be a list of at least one port, each with its \"device\"");
  }
  std::set<std::string> names;
  for (size_t i = 0; i < doc["ports"].size(); ++i) {
    const auto where = fmt::format("ports[{}]", i);
    const auto& p = doc["ports"][i];
    r.OnlyKnownKeys(p, where, {"device", "name", "speed", "flow", "dial_tone", "reset", "init", "dial_prefix",
                                "dialing", "speaker", "answer_timeout_s", "local_id", "use", "rings", "caller_id"});
    ModemPort port;
    port.device = r.String(p, where, "device", "");
    if (port.device.empty() || port.device[0] != '/') r.Fail(where + ".device", "must be the device's full path");
    port.name = r.String(p, where, "name", std::filesystem::path(port.device).filename().string());
    if (port.name.empty() || port.name.find(' ') != std::string::npos) {
      r.Fail(where + ".name", "must be a non-empty name without spaces");
    }
    if (!names.insert(port.name).second) r.Fail(where + ".name", "\"" + port.name + "\" is listed twice");
    port.speed = r.Integer(p, where, "speed", port.speed, 1200, 460800);
    if (SpeedConstant(port.speed) == 0) {
      r.Fail(where + ".speed", "must be 9600, 19200, 38400, 57600, 115200, 230400 or 460800");
    }
    const std::string flow = r.String(p, where, "flow", "hardware");
    if (flow != "hardware" && flow != "none") r.Fail(where + ".flow", "must be hardware or none");
    port.hardware_flow = flow == "hardware";
    const std::string tone = r.String(p, where, "dial_tone", "auto");
    if (tone == "auto") {
      port.dial_tone = DialToneCheck::kAuto;
    } else if (tone == "dial") {
      port.dial_tone = DialToneCheck::kDial;
    } else if (tone == "none") {
      port.dial_tone = DialToneCheck::kNone;
    } else {
      r.Fail(where + ".dial_tone", "must be auto, dial or none, not \"" + tone + "\"");
    }
    ReadModemCommands(r, p, where, port);
    config.ports.push_back(port);
  }
  config.lock_folder = r.String(doc, "", "lock_folder", config.lock_folder);
  config.command_timeout_ms = r.Integer(doc, "", "command_timeout_ms", config.command_timeout_ms, 100, 60000);
  config.dial_timeout_ms = r.Integer(doc, "", "dial_timeout_s", config.dial_timeout_ms / 1000, 10, 600) * 1000;
  config.spool = r.String(doc, "", "spool", config.spool);
  config.local_id = r.StationId(doc, "", "local_id", "");
  return config;
}

ModemConfig LoadModemConfig(const std::string& path) {
  return ParseModemConfig(ReadConfigFile<core::ConfigError>(path), path);
}

}  // namespace qvfax::modem
