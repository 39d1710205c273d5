#include "engines/modem/class1_call.h"

#include <algorithm>
#include <utility>

#include <fmt/format.h>

#include "engines/core/t30_terminal.h"
#include "engines/modem/class1_session.h"

namespace qvfax::modem {

using namespace class1;

namespace class1 {

std::string Shielded(const uint8_t* bytes, size_t length) {
  std::string out;
  out.reserve(length + length / 16 + 2);
  for (size_t i = 0; i < length; ++i) {
    out.push_back(static_cast<char>(bytes[i]));
    if (bytes[i] == kDle) out.push_back(static_cast<char>(kDle));
  }
  return out;
}

}  // namespace class1

namespace {

// What ended a call that T.30 finished, in words for the log and the user.
std::string EndReason(int completion, bool answering) {
  switch (completion) {
    case T30_ERR_OK: return answering ? "received" : "sent";
    case T30_ERR_T0_EXPIRED:
    case T30_ERR_T1_EXPIRED: return "no fax machine answered";
    default: return t30_completion_code_to_str(completion);
  }
}

}  // namespace

void Class1Call::Impl::Log(std::string line) {
  if (trace.size() >= 2000) trace.erase(trace.begin(), trace.begin() + 1000);
  trace.push_back(fmt::format("{:>8.3f} {}", static_cast<double>(now_ms) / 1000.0, line));
}

void Class1Call::Impl::SetRxType(void* user, int type, int bit_rate, int short_train, int use_hdlc) {
  auto* self = static_cast<Impl*>(user);
  self->rx_type = type;
  self->rx_bit_rate = bit_rate;
  self->rx_short_train = short_train != 0;
  self->rx_hdlc = use_hdlc != 0;
}

void Class1Call::Impl::SetTxType(void* user, int type, int bit_rate, int short_train, int use_hdlc) {
  auto* self = static_cast<Impl*>(user);
  self->tx = {type, bit_rate, short_train, use_hdlc != 0, ++self->tx_seq};
  if (type == T30_MODEM_DONE) self->t30_done = true;
}

void Class1Call::Impl::SendHdlc(void* user, const uint8_t* msg, int len) {
  auto* self = static_cast<Impl*>(user);
  if (msg && len > 0) {
    self->frames.emplace_back(std::string(reinterpret_cast<const char*>(msg), static_cast<size_t>(len)));
  } else {
    self->frames.emplace_back(std::nullopt);
  }
}

int Class1Call::Impl::PhaseB(t30_state_t*, void* user, int) {
  auto* self = static_cast<Impl*>(user);
  self->events.push_back({Class1Event::kConnected, 0, 0, {}});
  self->status = "Training";
  return T30_ERR_OK;
}

int Class1Call::Impl::ReportPages() {
  t30_stats_t stats;
  t30_get_transfer_statistics(t30, &stats);
  const int pages = setup.answering ? stats.pages_rx : stats.pages_tx;
  if (pages > pages_reported) {
    pages_reported = pages;
    events.push_back({Class1Event::kPage, pages, 0, {}});
  }
  return pages;
}

int Class1Call::Impl::PhaseD(t30_state_t*, void* user, int) {
  static_cast<Impl*>(user)->ReportPages();
  return T30_ERR_OK;
}

void Class1Call::Impl::PhaseE(t30_state_t*, void* user, int code) {
  auto* self = static_cast<Impl*>(user);
  self->ReportPages();
  self->completion = code;
}

void Class1Call::Impl::Finish(int32_t termination, std::string detail) {
  if (finished) return;
  finished = true;
  step = Step::kDone;
  Log(fmt::format("finished: status {} ({})", termination, detail));
  events.push_back({Class1Event::kFinished, pages_reported, termination, std::move(detail)});
  status = "Idle";
}

void Class1Call::Impl::HangUp(int32_t termination, std::string detail) {
  status = "Disconnecting";
  Command("ATH0", setup.command_timeout_ms, false, [this, termination, detail](const AtResult&) {
    Finish(termination, detail);
  });
  // A modem that will not hang up changes nothing about how the call went.
  on_timeout = [this, termination, detail] { Finish(termination, detail + "; the modem did not answer ATH0"); };
}

void Class1Call::Impl::Fail(core::LineResult result, std::string detail) {
  HangUp(core::TermStatusFor(result), std::move(detail));
}

void Class1Call::Impl::Start() {
  t30 = t30_init(nullptr, setup.answering ? 0 : 1, &SetRxType, this, &SetTxType, this, &SendHdlc, this);
  core::ConfigureT30(t30, {setup.local_id, setup.modulations, setup.ecm, setup.t4_2d, setup.t6});
  if (setup.answering) {
    t30_set_rx_file(t30, setup.received.c_str(), -1);
  } else {
    t30_set_tx_file(t30, setup.document.c_str(), -1, -1);
  }
  t30_set_phase_b_handler(t30, &PhaseB, this);
  t30_set_phase_d_handler(t30, &PhaseD, this);
  t30_set_phase_e_handler(t30, &PhaseE, this);

  status = setup.answering ? "Answering" : "Dialing";
  Initialise(0);
}

void Class1Call::Impl::Initialise(size_t next) {
  if (next < setup.init.size()) {
    const std::string command = setup.init[next];
    return Command(command, setup.command_timeout_ms, false, [this, command, next](const AtResult& r) {
      if (r.kind != AtResult::kOk) return Fail(core::LineResult::kModemError, command + ": " + r.text);
      Initialise(next + 1);
    });
  }
  Command("AT+FCLASS=1", setup.command_timeout_ms, false, [this](const AtResult& r) {
    if (r.kind != AtResult::kOk) return Fail(core::LineResult::kModemError, "AT+FCLASS=1: " + r.text);
    if (setup.answering) return Answer();
    Dial();
  });
}

void Class1Call::Impl::Advance() {
  if (finished || step != Step::kIdle) return;
  if (aborting) return;
  if (tx.seq != tx_served) {
    const TxRequest request = tx;
    switch (request.type) {
      case T30_MODEM_NONE:
      case T30_MODEM_CNG:
        // The modem makes the calling tone itself while it dials.
        tx_served = request.seq;
        break;
      case T30_MODEM_CED:
        // And the answer tone when it answers: by now it is sent.
        tx_served = request.seq;
        StepComplete();
        return Advance();
      case T30_MODEM_PAUSE:
        // T.30 pauses so the far end hears the last frame through; a Class 1
        // modem has already sent it all before it answered OK.
        tx_served = request.seq;
        StepComplete();
        return Advance();
      case T30_MODEM_DONE:
        tx_served = request.seq;
        return HangUp(core::TermStatusFor(completion), EndReason(completion, setup.answering));
      case T30_MODEM_V21:
        if (frames.empty()) return;  // the first frame is on its way
        tx_served = request.seq;
        return Talk();
      default:
        tx_served = request.seq;
        return SendData(request);
    }
  }
  // A burst's end marker left after the final frame was acknowledged.
  if (!frames.empty() && !frames.front()) {
    frames.pop_front();
    StepComplete();
    return Advance();
  }
  if (tx.type != T30_MODEM_NONE || now_ms < not_before_ms) return;
  const bool fast = rx_type == T30_MODEM_V27TER || rx_type == T30_MODEM_V29 || rx_type == T30_MODEM_V17;
  if (fast && !hear_v21) return Receive();
  if ((rx_type == T30_MODEM_V21 && rx_hdlc) || fast) {
    hear_v21 = false;
    Listen();
  }
}

void Class1Call::Impl::OnResult(const AtResult& r) {
  if (r.kind == AtResult::kEcho) return;
  if (r.kind == AtResult::kRing) {
    Log("< RING (ignored)");
    return;
  }
  if (r.kind == AtResult::kData) {
    if (step == Step::kRxImage) return ImageData(r.text, r.end);
    if (step == Step::kRxData) {
      frame += r.text;
      if (r.end) {
        step = Step::kRxStatus;
        deadline_ms = now_ms + 3000;
      }
    }
    return;
  }
  if (r.kind == AtResult::kInfo) {
    Log("< " + r.text);
    return;
  }
  Log("< " + r.text);
  switch (step) {
    case Step::kCommand: {
      auto then = std::move(on_result);
      step = Step::kIdle;
      if (then) then(r);
      break;
    }
    case Step::kRxStatus: FrameEnded(r); break;
    case Step::kRxImage:
    case Step::kRxImageEnd: ImageEnded(r); break;
    case Step::kTxFrames:
      if (frame_in_flight) FrameAcknowledged(r);
      break;
    case Step::kTxDrain:
      step = Step::kIdle;
      if (r.kind != AtResult::kOk) Log("data ended with " + r.text);
      StepComplete();
      break;
    case Step::kRxData:
      // The carrier went before the frame ended.
      step = Step::kIdle;
      t30_hdlc_accept(t30, nullptr, SIG_STATUS_CARRIER_DOWN, true);
      break;
    default: break;
  }
}

void Class1Call::Impl::TimedOut() {
  Log("timeout");
  if (step == Step::kCommand && on_timeout) {
    auto handler = std::move(on_timeout);
    on_timeout = nullptr;
    return handler();
  }
  if (aborting) return Finish(core::TermStatusFor(core::LineResult::kCancelled), "cancelled");
  if (step == Step::kRxData && frame.empty()) return NothingHeard();
  aborting = true;  // no more T.30 steps: only the hang-up is left
  if (step == Step::kRxImage || step == Step::kRxData) {
    // The modem heard a carrier and then nothing: the far end is gone, not our modem.
    const int reason = step == Step::kRxImage ? T30_ERR_RX_NOCARRIER : T30_ERR_CALLDROPPED;
    return BreakOff(core::TermStatusFor(reason), "the far end went silent");
  }
  return Fail(core::LineResult::kModemSilent, "the modem stopped answering");
}

void Class1Call::Impl::Flush() {
  while (!out.empty()) {
    const long n = port.Write(reinterpret_cast<const uint8_t*>(out.data()), out.size());
    if (n <= 0) {
      if (n < 0) Finish(core::TermStatusFor(core::LineResult::kModemSilent), "the port went away");
      return;
    }
    out.erase(0, static_cast<size_t>(n));
  }
}

void Class1Call::Impl::Poll(int elapsed_ms) {
  now_ms += elapsed_ms;
  if (finished) return;
  uint8_t buffer[4096];
  for (;;) {
    const long n = port.Read(buffer, sizeof buffer);
    if (n < 0) return Finish(core::TermStatusFor(core::LineResult::kModemSilent), "the port went away");
    if (n == 0) break;
    for (const auto& r : parser.Feed(buffer, static_cast<size_t>(n))) {
      OnResult(r);
      if (finished) return;
    }
  }
  if (connected && t30 && !t30_done) t30_timer_update(t30, elapsed_ms * 8);
  if (connected && now_ms - connected_at_ms > kMaxCallMs && !aborting) {
    aborting = true;
    return Fail(core::LineResult::kModemSilent, "the call went on too long");
  }
  if (step == Step::kTxData) PumpData();
  if (step == Step::kTxEcm) PumpEcm();
  if (step == Step::kTxFrames) SendFrames();
  if (step == Step::kCommand && listening && tx.seq != tx_served) StopListening();
  Advance();
  if (step == Step::kPause && now_ms >= deadline_ms) {
    step = Step::kIdle;
    HangUp(broken_off, broken_off_detail);
  }
  if (!finished && step != Step::kIdle && step != Step::kTxData && step != Step::kTxEcm && now_ms > deadline_ms) {
    TimedOut();
  }
  Flush();
}

void Class1Call::Impl::BreakOff(int32_t termination, std::string detail) {
  aborting = true;
  broken_off = termination;
  broken_off_detail = std::move(detail);
  // Whatever the modem is doing: end data we send, stop a receive, then hang up.
  Write(std::string{char(kDle), char(kEtx), char(kCan)});
  parser.Reset();
  status = "Disconnecting";
  // Let the modem answer what we broke off before we hang up.
  step = Step::kPause;
  deadline_ms = now_ms + kAbortSettleMs;
  Flush();
}

void Class1Call::Impl::Abort() {
  if (finished || aborting) return;
  Log("abort");
  BreakOff(core::TermStatusFor(core::LineResult::kCancelled), "cancelled");
}

Class1Call::Class1Call(SerialPort& port, Class1Setup setup) : impl_(std::make_unique<Impl>(port, std::move(setup))) {}
Class1Call::~Class1Call() = default;

void Class1Call::Start() {
  impl_->Start();
  impl_->Flush();
}

std::vector<Class1Event> Class1Call::Poll(int elapsed_ms) {
  impl_->Poll(elapsed_ms);
  return std::exchange(impl_->events, {});
}

int Class1Call::NextWakeMs() const {
  const auto& c = *impl_;
  // T.30's timers count seconds: waking a few times a second keeps them true.
  int64_t next = kTimerSliceMs;
  if (c.step == Impl::Step::kTxData || c.step == Impl::Step::kTxEcm) next = kPacingSliceMs;
  if (c.step != Impl::Step::kIdle && c.step != Impl::Step::kTxData && c.step != Impl::Step::kTxEcm) {
    next = std::min(next, c.deadline_ms - c.now_ms + 1);
  }
  if (c.not_before_ms > c.now_ms) next = std::min(next, c.not_before_ms - c.now_ms);
  return static_cast<int>(std::max<int64_t>(next, 1));
}

bool Class1Call::WantsWrite() const { return !impl_->out.empty(); }

void Class1Call::Abort() { impl_->Abort(); }
bool Class1Call::Finished() const { return impl_->finished; }

std::string Class1Call::RemoteIdent() const {
  const char* ident = impl_->t30 ? t30_get_rx_ident(impl_->t30) : nullptr;
  return ident && *ident ? ident : impl_->remote_ident;
}

int Class1Call::Pages() const { return impl_->pages_reported; }

int Class1Call::BitRate() const {
  if (!impl_->t30) return 0;
  t30_stats_t stats;
  t30_get_transfer_statistics(impl_->t30, &stats);
  return stats.bit_rate;
}

bool Class1Call::Ecm() const {
  if (!impl_->t30) return false;
  t30_stats_t stats;
  t30_get_transfer_statistics(impl_->t30, &stats);
  return stats.error_correcting_mode != 0;
}

int64_t Class1Call::ConnectedMs() const {
  return impl_->connected ? impl_->now_ms - impl_->connected_at_ms : 0;
}

const std::string& Class1Call::Status() const { return impl_->status; }
const std::vector<std::string>& Class1Call::Trace() const { return impl_->trace; }

}  // namespace qvfax::modem
