// How a call that rang begins: ATA. A Class 1 modem answers with the answer
// tone and goes on sending V.21 flags, so our first frames (CSI, DIS) go out
// on that carrier with no +FTH of their own.
#include <fmt/format.h>

#include "engines/modem/class1_session.h"

namespace qvfax::modem {

using namespace class1;

void Class1Call::Impl::Answer() {
  Command("ATA", setup.dial_timeout_ms, false, [this](const AtResult& r) { Answered(r); });
  on_timeout = [this] {
    Write(std::string(1, static_cast<char>(kCan)));
    Fail(core::LineResult::kNoCarrier, "the modem did not connect after answering");
  };
}

void Class1Call::Impl::Answered(const AtResult& r) {
  switch (r.kind) {
    case AtResult::kConnect:
      connected = true;
      connected_at_ms = now_ms;
      talking = true;
      status = "Connected";
      Log("< CONNECT (answered)");
      return;
    case AtResult::kNoCarrier: return Fail(core::LineResult::kNoCarrier, "the caller hung up before the fax began");
    default: return Fail(core::LineResult::kModemError, "the modem would not answer: " + r.text);
  }
}

}  // namespace qvfax::modem
