// Hanging up at once, outside a call's own steps: when a port is closed or
// the engine is released while a call is under way (qvfaxd stopping). It
// waits, briefly, for the modem to take a command before ATH, since a modem
// still sending data or listening for a carrier drops what it is sent.
#pragma once

#include <string>
#include <vector>

#include "engines/modem/serial_port.h"

namespace qvfax::modem {

// Ends data or a receive, waits for the modem's answer, sends ATH0 and waits
// for its OK, then drops DTR; each wait at most `timeout_ms`, and never more
// than a second. `trace` gets what was sent and heard. True when the modem
// confirmed the hang-up.
bool HangUpAtOnce(SerialPort& port, int timeout_ms, std::vector<std::string>& trace);

}  // namespace qvfax::modem
