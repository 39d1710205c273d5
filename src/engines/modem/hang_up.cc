#include "engines/modem/hang_up.h"

#include <algorithm>
#include <chrono>

#include "engines/modem/at_parser.h"
#include "engines/modem/modem_probe.h"

namespace qvfax::modem {

namespace {

constexpr int kLongestWaitMs = 1000;  // a modem drains what we paced ahead (kLeadMs) well within it

// Reads until the modem gives a final result, the port goes, or `timeout_ms` passes.
bool AwaitFinal(SerialPort& port, AtParser& parser, int timeout_ms, std::vector<std::string>& trace) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (!port.WaitReadable(static_cast<int>(left.count()) + 1)) continue;
    uint8_t buffer[512];
    const long n = port.Read(buffer, sizeof buffer);
    if (n < 0) return false;
    for (const auto& r : parser.Feed(buffer, static_cast<size_t>(n))) {
      if (r.Final()) {
        trace.push_back("< " + r.text);
        return true;
      }
    }
  }
  return false;
}

}  // namespace

bool HangUpAtOnce(SerialPort& port, int timeout_ms, std::vector<std::string>& trace) {
  if (!port.IsOpen()) return false;
  // Whoever is stopping (a Ctrl-C, qvfaxd's shutdown) waits two seconds at most.
  timeout_ms = std::min(timeout_ms, kLongestWaitMs);
  // DLE ETX ends data we send; CAN stops a receive; a modem in command mode answers either.
  static const uint8_t kBreak[] = {0x10, 0x03, 0x18};
  trace.push_back("> <DLE><ETX><CAN>");
  if (port.Write(kBreak, sizeof kBreak) < 0) return false;
  AtParser parser;
  parser.CommandSent("");
  AwaitFinal(port, parser, timeout_ms, trace);
  trace.push_back("> ATH0");
  const AtReply reply = RunCommand(port, parser, "ATH0", timeout_ms);
  trace.push_back(reply.timed_out ? "< (no answer)" : reply.result == AtResult::kOk ? "< OK" : "< not OK");
  port.PulseDtr();
  return !reply.timed_out && reply.result == AtResult::kOk;
}

}  // namespace qvfax::modem
