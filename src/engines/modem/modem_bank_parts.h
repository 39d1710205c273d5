// The modem engine's own records of its ports and its call, shared by
// modem_bank.cc (ports and sending) and modem_answer.cc (waiting for calls).
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "engines/core/reception.h"
#include "engines/modem/at_parser.h"
#include "engines/modem/caller_id.h"
#include "engines/modem/class1_call.h"
#include "engines/modem/modem_bank.h"
#include "engines/modem/modem_probe.h"
#include "engines/modem/serial_port.h"
#include "platform/clock.h"

namespace qvfax::modem {

// A port that waits for calls: the rings counted and the caller ID heard so far.
struct RingWatch {
  core::CallRinging ringing;
  AtParser parser;
  CallerId caller;
  int rings = 0;
  std::chrono::milliseconds last_ring{0};
  Clock::TimerId timer = 0;  // 0 while a call has the port
};

// A port this engine has open: the device, its lock, and what its modem said.
struct ModemBank::Held {
  SerialPort serial;
  ModemFacts facts;
  bool gone = false;  // the device went away: closed, its lock released, the port left idle
  std::unique_ptr<RingWatch> watch;  // set while the port answers calls
};

struct ModemBank::Call {
  std::unique_ptr<Class1Call> driver;
  std::string document;  // sending: the document assembled for the call
  std::string received;  // answering: the file the pages go into
  std::chrono::milliseconds last_tick{0};
  int watched_fd = -1;  // the port's descriptor, watched by the clock while the call lasts
  bool ended = false;
};

// Whether the modem's classes include class 1.
bool HasClass1(const std::string& classes);

}  // namespace qvfax::modem
