// How a call we make begins: the dial, and what the modem says of it.
#include <fmt/format.h>

#include "engines/modem/class1_session.h"

namespace qvfax::modem {

using namespace class1;

void Class1Call::Impl::Dial() {
  events.push_back({Class1Event::kDialing, 0, 0, {}});
  const std::string dial =
      fmt::format("AT{}D{}{}{}", setup.speaker, setup.tone ? 'T' : 'P', setup.dial_prefix, setup.number);
  Command(dial, setup.dial_timeout_ms, true, [this](const AtResult& d) { Dialled(d); });
  on_timeout = [this] {
    // Stop the dial before hanging up: any character does.
    Write(std::string(1, static_cast<char>(kCan)));
    Fail(core::LineResult::kNoAnswer, "nobody answered in time");
  };
}

void Class1Call::Impl::Dialled(const AtResult& r) {
  switch (r.kind) {
    case AtResult::kConnect:
      connected = true;
      connected_at_ms = now_ms;
      status = "Connected";
      Log("< CONNECT (answered)");
      BeginFrame();
      return;
    case AtResult::kBusy: return Finish(core::TermStatusFor(core::LineResult::kBusy), "the line is busy");
    case AtResult::kNoAnswer:
      return Fail(core::LineResult::kNoAnswer, "nobody answered");
    case AtResult::kNoDialtone:
      return Fail(core::LineResult::kNoDialtone, "no dial tone");
    case AtResult::kNoCarrier:
      return Fail(core::LineResult::kNoCarrier, "answered without fax tones, or no answer");
    default: return Fail(core::LineResult::kModemError, "the modem refused the dial: " + r.text);
  }
}

}  // namespace qvfax::modem
