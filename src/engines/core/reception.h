// A call that comes in: who the line says is calling, and what became of it.
// The engine answers, its T.30 terminal receives, and the pages go into the
// file it was given, as they arrive (MH, MR or MMR, at their resolution).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace qvfax::core {

struct IncomingCall {
  std::string caller_number;  // caller ID, when the line gives it
  std::string caller_name;
  std::string document;       // line and sim engines: what the virtual caller sends
};

struct Reception {
  std::string port;
  std::string file;           // holds the pages received; removed when none came
  IncomingCall from;
  std::string remote_id;      // the station id the sender gave (its TSI)
  int32_t pages = 0;          // received and confirmed
  int32_t y_dpi = 0;
  int32_t bit_rate = 0;
  bool ecm = false;
  int32_t duration_ms = 0;    // of the call, from answering
  int32_t status = 0;         // the termination status
  bool complete = false;      // the sender ended its document normally
  std::string reason;         // why not, in words
};

using ReceptionDone = std::function<void(const Reception&)>;

// What the one who waits for calls on a port does with one that rings: the
// file its pages go into and who hears how it ended; nullopt lets it ring.
struct AnswerPlan {
  std::string file;
  ReceptionDone done;
};
using CallRinging = std::function<std::optional<AnswerPlan>(const IncomingCall&)>;

}  // namespace qvfax::core
