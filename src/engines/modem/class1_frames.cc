// V.21 frames: received under +FRH with the FCS checked by the modem, sent
// under +FTH one by one, each acknowledged, with the silences T.30 asks for
// between talking and listening.
#include <fmt/format.h>

#include "engines/modem/class1_session.h"

namespace qvfax::modem {

using namespace class1;

void Class1Call::Impl::BeginFrame() {
  frame.clear();
  step = Step::kRxData;
  deadline_ms = now_ms + 10000;  // a frame lasts at most about 3 s
  t30_hdlc_accept(t30, nullptr, SIG_STATUS_CARRIER_UP, true);
  t30_hdlc_accept(t30, nullptr, SIG_STATUS_FRAMING_OK, true);
}

void Class1Call::Impl::FrameEnded(const AtResult& r) {
  const bool good = r.kind == AtResult::kOk && frame.size() >= 3;
  // The modem hands over the frame with its two FCS octets; T.30 wants it without.
  const size_t length = frame.size() >= 2 ? frame.size() - 2 : 0;
  const bool final = frame.size() >= 2 && (static_cast<uint8_t>(frame[1]) & 0x10);
  Log(fmt::format("< frame {} bytes fcf {:02x} {}{}", length,
                  frame.size() >= 3 ? static_cast<uint8_t>(frame[2]) : 0, good ? "OK" : "bad",
                  final ? " final" : ""));
  step = Step::kIdle;
  last_was_rx = true;
  if (good && length > 3 && (static_cast<uint8_t>(frame[2]) & 0xFE) == 0x42) {
    // The sender's id (TSI): twenty characters, the last one first.
    std::string id(frame.rbegin() + 2, frame.rend() - 3);
    id.erase(0, id.find_first_not_of(' '));
    id.erase(id.find_last_not_of(' ') + 1);
    remote_ident = id;
    Log(fmt::format("< TSI \"{}\"", id));
  }
  t30_hdlc_accept(t30, reinterpret_cast<const uint8_t*>(frame.data()), static_cast<int>(length), good);
  if (final || !good) t30_hdlc_accept(t30, nullptr, SIG_STATUS_CARRIER_DOWN, true);
}

void Class1Call::Impl::Listen() {
  Command("AT+FRH=3", kFrhGuardMs, true, [this](const AtResult& r) {
    listening = false;
    switch (r.kind) {
      case AtResult::kConnect: return BeginFrame();
      case AtResult::kNoCarrier:
      case AtResult::kFcError:
      case AtResult::kError:
        // Nothing heard yet; T.30's timers decide how long to go on listening.
        step = Step::kIdle;
        not_before_ms = now_ms + 50;
        return;
      default: step = Step::kIdle; return;
    }
  });
  listening = true;
}

void Class1Call::Impl::NothingHeard() {
  // A line that answered but carries no fax tones: stop the receive and let
  // T.30's own timers decide how long to go on listening.
  Log("> <CAN> (no carrier)");
  Write(std::string(1, static_cast<char>(kCan)));
  parser.Reset();  // no frame data follows: what comes now is the modem's result
  t30_hdlc_accept(t30, nullptr, SIG_STATUS_CARRIER_DOWN, true);
  step = Step::kCommand;
  on_result = [this](const AtResult&) { step = Step::kIdle; };
  on_timeout = [this] { step = Step::kIdle; };
  deadline_ms = now_ms + 2000;
}

void Class1Call::Impl::StopListening() {
  listening = false;
  Log("> <CAN>");
  Write(std::string(1, static_cast<char>(kCan)));
  on_result = [this](const AtResult& r) {
    if (r.kind == AtResult::kConnect) return BeginFrame();  // a frame won the race
    step = Step::kIdle;
  };
  deadline_ms = now_ms + 2000;
}

void Class1Call::Impl::Talk() {
  const bool after_rx = last_was_rx;
  last_was_rx = false;
  if (talking) {
    // The modem answered with its carrier on: the frames go out on it.
    talking = false;
    step = Step::kTxFrames;
    frame_in_flight = false;
    return SendFrames();
  }
  auto connect = [this] {
    Command("AT+FTH=3", setup.command_timeout_ms, false, [this](const AtResult& r) {
      if (r.kind != AtResult::kConnect) return Fail(core::LineResult::kModemError, "AT+FTH=3: " + r.text);
      step = Step::kTxFrames;
      frame_in_flight = false;
      SendFrames();
    });
  };
  // The far end needs to hear us stop before we start, and us it.
  Command(after_rx ? "AT+FRS=7" : "AT+FTS=8", setup.command_timeout_ms, false, [connect](const AtResult&) {
    connect();
  });
}

void Class1Call::Impl::SendFrames() {
  if (step != Step::kTxFrames || frame_in_flight || frames.empty()) return;
  if (!frames.front()) {
    // A burst ended while the carrier is still on: close it with an empty final.
    frames.pop_front();
    StepComplete();
    return;
  }
  const std::string f = *frames.front();
  frames.pop_front();
  Log(fmt::format("> frame {} bytes fcf {:02x}", f.size(), f.size() >= 3 ? static_cast<uint8_t>(f[2]) : 0));
  Write(Shielded(reinterpret_cast<const uint8_t*>(f.data()), f.size()) + std::string{char(kDle), char(kEtx)});
  frame_in_flight = true;
  deadline_ms = now_ms + setup.command_timeout_ms;
}

void Class1Call::Impl::FrameAcknowledged(const AtResult& r) {
  frame_in_flight = false;
  if (r.kind == AtResult::kConnect) {
    // More frames follow on the same carrier.
    StepComplete();
    SendFrames();
    return;
  }
  if (r.kind != AtResult::kOk) {
    Log("< " + r.text + " after a frame");
  }
  // The final frame is out and the carrier off.
  step = Step::kIdle;
  StepComplete();
}
}  // namespace qvfax::modem
