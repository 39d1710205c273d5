#include "engines/modem/modem_probe.h"

#include <spandsp.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <sstream>

#include "values/enums.h"

namespace qvfax::modem {

namespace {

using Steady = std::chrono::steady_clock;

// The items of a list as modems write them: "0,1,1.0", "(0-2),(1.0)",
// "(24,48,72,96)"; whole-number ranges are spelled out.
std::vector<std::string> ListItems(const std::string& listed) {
  std::vector<std::string> items;
  std::string token;
  std::stringstream in(listed);
  while (std::getline(in, token, ',')) {
    std::string clean;
    for (char c : token) {
      if (c != '(' && c != ')' && c != ' ') clean.push_back(c);
    }
    const auto dash = clean.find('-');
    if (dash == std::string::npos || clean.find('.') != std::string::npos) {
      if (!clean.empty()) items.push_back(clean);
      continue;
    }
    try {
      for (int n = std::stoi(clean.substr(0, dash)); n <= std::stoi(clean.substr(dash + 1)); ++n) {
        items.push_back(std::to_string(n));
      }
    } catch (const std::exception&) {
      // Not a range of numbers: nothing a modem lists that we use.
    }
  }
  return items;
}

}  // namespace

std::string AtReply::Text() const {
  std::string text;
  for (const auto& line : lines) {
    if (!text.empty()) text += ' ';
    text += line;
  }
  return text;
}

AtReply RunCommand(SerialPort& port, AtParser& parser, const std::string& command, int timeout_ms) {
  AtReply reply;
  parser.Reset();
  parser.CommandSent(command);
  parser.DataFollowsConnect(false);
  const std::string line = command + "\r";
  size_t written = 0;
  const auto deadline = Steady::now() + std::chrono::milliseconds(timeout_ms);
  while (Steady::now() < deadline) {
    if (written < line.size()) {
      const long n = port.Write(reinterpret_cast<const uint8_t*>(line.data()) + written, line.size() - written);
      if (n < 0) break;
      written += static_cast<size_t>(n);
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now()).count();
    if (!port.WaitReadable(static_cast<int>(std::clamp<long>(left, 0, 50)))) continue;
    uint8_t buffer[512];
    const long n = port.Read(buffer, sizeof buffer);
    if (n < 0) break;
    for (const auto& r : parser.Feed(buffer, static_cast<size_t>(n))) {
      if (r.kind == AtResult::kInfo) reply.lines.push_back(r.text);
      if (r.Final()) {
        reply.result = r.kind;
        return reply;
      }
    }
  }
  reply.timed_out = true;
  return reply;
}

std::string ClassesFromList(const std::string& listed) {
  const auto items = ListItems(listed);
  const std::set<std::string> found(items.begin(), items.end());
  std::string classes;
  for (const char* c : {"1", "1.0", "2", "2.0"}) {
    if (!found.count(c)) continue;
    if (!classes.empty()) classes += ',';
    classes += c;
  }
  return classes;
}

int ModulationsFromList(const std::string& listed) {
  const auto items = ListItems(listed);
  const std::set<std::string> have(items.begin(), items.end());
  auto all = [&](std::initializer_list<int> codes) {
    for (int c : codes) {
      if (!have.count(std::to_string(c))) return false;
    }
    return true;
  };
  int modulations = 0;
  if (all({24, 48})) modulations |= T30_SUPPORT_V27TER;
  if (all({72, 96})) modulations |= T30_SUPPORT_V29;
  if (all({73, 74, 97, 98, 121, 122, 145, 146})) modulations |= T30_SUPPORT_V17;
  return modulations;
}

ModemFacts ProbeModem(SerialPort& port, int timeout_ms) {
  ModemFacts facts;
  AtParser parser;
  port.DiscardInput();
  // A modem left in data mode or mid-command wakes with a bare CR.
  bool answered = false;
  for (int attempt = 0; attempt < 3 && !answered; ++attempt) {
    const auto reply = RunCommand(port, parser, "AT", attempt == 0 ? timeout_ms / 2 : timeout_ms);
    answered = !reply.timed_out && reply.result == AtResult::kOk;
  }
  if (!answered) return facts;
  facts.answered = true;
  RunCommand(port, parser, "ATE0V1Q0", timeout_ms);

  auto ask = [&](const std::string& command) {
    const auto reply = RunCommand(port, parser, command, timeout_ms);
    return !reply.timed_out && reply.result == AtResult::kOk ? reply.Text() : std::string();
  };
  facts.manufacturer = ask("AT+FMI?");
  facts.model = ask("AT+FMM?");
  if (!facts.model.empty()) {
    const std::string revision = ask("AT+FMR?");
    if (!revision.empty()) facts.model += " " + revision;
  }
  if (facts.manufacturer.empty() || facts.model.empty()) {
    const std::string i3 = ask("ATI3");
    if (facts.manufacturer.empty()) facts.manufacturer = i3;
    if (facts.model.empty()) facts.model = i3;
  }
  facts.classes = ClassesFromList(ask("AT+FCLASS=?"));
  if (facts.classes.rfind("1", 0) == 0) {
    if (RunCommand(port, parser, "AT+FCLASS=1", timeout_ms).result == AtResult::kOk) {
      facts.modulations = ModulationsFromList(ask("AT+FTM=?"));
    }
    RunCommand(port, parser, "AT+FCLASS=0", timeout_ms);
  }
  const std::string who = facts.manufacturer + " " + facts.model;
  facts.soft_modem = who.find("spandsp") != std::string::npos || who.find("soft-switch") != std::string::npos;
  return facts;
}

int32_t CheckDialTone(SerialPort& port, const ModemFacts& facts, DialToneCheck check, int timeout_ms) {
  if (!facts.answered) return -1;
  // A soft modem has no line to listen to: a dial there places a call. Its
  // missing dial tone shows when the fax is dialled.
  if (check == DialToneCheck::kNone || (check == DialToneCheck::kAuto && facts.soft_modem)) return 1;
  AtParser parser;
  // Off hook, wait for the tone, dial nothing and come back to command mode.
  const auto reply = RunCommand(port, parser, "ATX4DT;", timeout_ms + 8000);
  RunCommand(port, parser, "ATH0", timeout_ms);
  if (reply.timed_out) return qbfaxvmec_FAX_ERR_CANNOT_CONNECT_PORT;
  switch (reply.result) {
    case AtResult::kOk: return 1;
    case AtResult::kNoDialtone: return 0;
    default: return qbfaxvmec_FAX_ERR_CANNOT_CONNECT_PORT;
  }
}

}  // namespace qvfax::modem
