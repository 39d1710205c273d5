// Asking a modem what it is, with short blocking commands: whether it answers
// AT at all, who made it, which fax classes and Class 1 modulations it has,
// and whether the line gives a dial tone. Used while no call is under way.
#pragma once

#include <string>
#include <vector>

#include "engines/modem/at_parser.h"
#include "engines/modem/serial_port.h"

namespace qvfax::modem {

// Sends `command` and waits at most `timeout_ms` for its final result; the
// information lines before it are kept. A timeout gives `timed_out`.
struct AtReply {
  bool timed_out = false;
  AtResult::Kind result = AtResult::kError;
  std::vector<std::string> lines;
  std::string Text() const;  // the information lines joined by spaces
};
AtReply RunCommand(SerialPort& port, AtParser& parser, const std::string& command, int timeout_ms);

struct ModemFacts {
  bool answered = false;       // a modem answered AT
  std::string manufacturer;    // +FMI?, else ATI3
  std::string model;           // +FMM? with +FMR?, else ATI3
  std::string classes;         // the control's text: "1,1.0,2,2.0" or a part of it
  int modulations = 0;         // T30_SUPPORT_V27TER | V29 | V17 from +FTM=?
  bool soft_modem = false;     // SpanDSP's T.31 (iaxmodem, t38modem): a dial places a call
};

ModemFacts ProbeModem(SerialPort& port, int timeout_ms);

// "0,1,1.0,2" or "(0-2),(1.0)" and the like, as the control's class text.
std::string ClassesFromList(const std::string& listed);
// T30_SUPPORT_* flags for a +FTM=? list; a family counts when all its rates are there.
int ModulationsFromList(const std::string& listed);

enum class DialToneCheck { kAuto, kDial, kNone };
// 1 dial tone, 0 none, -1 no modem answered, -153 the port failed.
int32_t CheckDialTone(SerialPort& port, const ModemFacts& facts, DialToneCheck check, int timeout_ms);

}  // namespace qvfax::modem
