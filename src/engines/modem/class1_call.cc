#include "engines/modem/class1_call.h"

#include <spandsp.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <optional>
#include <utility>

#include <fmt/format.h>

#include "engines/core/termination_status.h"
#include "engines/modem/at_parser.h"

namespace qvfax::modem {

namespace {

constexpr uint8_t kDle = 0x10;
constexpr uint8_t kEtx = 0x03;
constexpr uint8_t kCan = 0x18;

constexpr int kMaxCallMs = 30 * 60 * 1000;  // then the call is dropped
constexpr int kFrhGuardMs = 30000;          // T.30's own timers end a silent wait long before this
constexpr int kLeadMs = 600;                // image data kept ahead of the line, against underrun
constexpr int kAbortSettleMs = 300;

// The +FTM/+FRM code of a T.30 modulation at a bit rate, or 0.
int ModulationCode(int type, int bit_rate, bool short_train) {
  switch (type) {
    case T30_MODEM_V27TER: return bit_rate == 2400 ? 24 : 48;
    case T30_MODEM_V29: return bit_rate == 7200 ? 72 : 96;
    case T30_MODEM_V17: {
      const int base = bit_rate == 7200 ? 73 : bit_rate == 9600 ? 97 : bit_rate == 12000 ? 121 : 145;
      return base + (short_train ? 1 : 0);
    }
    default: return 0;
  }
}

std::string Shielded(const uint8_t* bytes, size_t length) {
  std::string out;
  out.reserve(length + length / 16 + 2);
  for (size_t i = 0; i < length; ++i) {
    out.push_back(static_cast<char>(bytes[i]));
    if (bytes[i] == kDle) out.push_back(static_cast<char>(kDle));
  }
  return out;
}

}  // namespace

struct Class1Call::Impl {
  // What T.30 asked of the front end; served in order by Advance().
  struct TxRequest {
    int type = T30_MODEM_NONE;
    int bit_rate = 0;
    int short_train = 0;  // for T30_MODEM_PAUSE: the pause in ms
    bool hdlc = false;
    uint64_t seq = 0;
  };

  enum class Step {
    kIdle,        // nothing in flight: Advance() decides
    kCommand,     // a command waits for its final result
    kRxData,      // +FRH answered CONNECT: a frame is arriving
    kRxStatus,    // the frame ended: OK or ERROR says whether its FCS was good
    kTxFrames,    // +FTH answered CONNECT: frames go out, each acknowledged
    kTxData,      // +FTM answered CONNECT: image data streams
    kTxEcm,       // +FTM answered CONNECT: ECM frames, framed here, stream
    kTxDrain,     // data ended with DLE ETX: OK when the modem has sent it all
    kPause,       // a silence T.30 asked for, until the deadline
    kDone,
  };

  SerialPort& port;
  Class1Setup setup;
  AtParser parser;
  t30_state_t* t30 = nullptr;

  Step step = Step::kIdle;
  std::function<void(const AtResult&)> on_result;  // for Step::kCommand
  std::function<void()> on_timeout;                // for Step::kCommand; default: a silent modem
  int64_t deadline_ms = 0;
  int64_t now_ms = 0;
  int64_t not_before_ms = 0;

  TxRequest tx;
  uint64_t tx_served = 0;
  uint64_t tx_seq = 0;
  int rx_type = T30_MODEM_NONE;
  bool rx_hdlc = false;
  std::deque<std::optional<std::string>> frames;  // nullopt ends a burst
  bool frame_in_flight = false;
  bool last_was_rx = true;  // the line was ours to listen on: wait for silence before talking

  std::string frame;  // the frame being received
  std::string out;    // bytes not yet taken by the port

  // Image data under +FTM.
  hdlc_tx_state_t* hdlc = nullptr;  // the framer of ECM frames
  bool hdlc_idle = false;           // the framer has finished its frame (or preamble)
  int data_rate = 0;
  int64_t data_started_ms = 0;
  int64_t data_pulled = 0;

  bool connected = false;   // ATD answered CONNECT
  int64_t connected_at_ms = 0;
  bool t30_done = false;
  int completion = T30_ERR_OK;
  bool listening = false;  // a +FRH waits for a carrier and may be stopped
  bool aborting = false;
  bool finished = false;
  int pages_reported = 0;
  std::string status = "Idle";
  std::vector<std::string> trace;
  std::vector<Class1Event> events;

  Impl(SerialPort& p, Class1Setup s) : port(p), setup(std::move(s)) {}
  ~Impl() {
    if (hdlc) hdlc_tx_free(hdlc);
    if (t30) t30_free(t30);
  }

  void Log(std::string line) {
    if (trace.size() >= 2000) trace.erase(trace.begin(), trace.begin() + 1000);
    trace.push_back(fmt::format("{:>8.3f} {}", static_cast<double>(now_ms) / 1000.0, line));
  }

  // --- T.30's front-end callbacks: they only record, Advance() acts. ---
  static void SetRxType(void* user, int type, int, int, int use_hdlc) {
    auto* self = static_cast<Impl*>(user);
    self->rx_type = type;
    self->rx_hdlc = use_hdlc != 0;
  }
  static void SetTxType(void* user, int type, int bit_rate, int short_train, int use_hdlc) {
    auto* self = static_cast<Impl*>(user);
    self->tx = {type, bit_rate, short_train, use_hdlc != 0, ++self->tx_seq};
    if (type == T30_MODEM_DONE) self->t30_done = true;
  }
  static void SendHdlc(void* user, const uint8_t* msg, int len) {
    auto* self = static_cast<Impl*>(user);
    if (msg && len > 0) {
      self->frames.emplace_back(std::string(reinterpret_cast<const char*>(msg), static_cast<size_t>(len)));
    } else {
      self->frames.emplace_back(std::nullopt);
    }
  }
  static int PhaseB(t30_state_t*, void* user, int) {
    auto* self = static_cast<Impl*>(user);
    self->events.push_back({Class1Event::kConnected, 0, 0, {}});
    self->status = "Training";
    return T30_ERR_OK;
  }
  int ReportPages() {
    t30_stats_t stats;
    t30_get_transfer_statistics(t30, &stats);
    if (stats.pages_tx > pages_reported) {
      pages_reported = stats.pages_tx;
      events.push_back({Class1Event::kPageSent, stats.pages_tx, 0, {}});
    }
    return stats.pages_tx;
  }
  static int PhaseD(t30_state_t*, void* user, int) {
    static_cast<Impl*>(user)->ReportPages();
    return T30_ERR_OK;
  }
  static void PhaseE(t30_state_t*, void* user, int code) {
    auto* self = static_cast<Impl*>(user);
    self->ReportPages();
    self->completion = code;
  }

  void StepComplete() { t30_front_end_status(t30, T30_FRONT_END_SEND_STEP_COMPLETE); }

  // --- Talking to the modem. ---
  void Write(const std::string& bytes) { out += bytes; }

  void Command(const std::string& command, int timeout_ms, bool data_follows,
               std::function<void(const AtResult&)> then) {
    Log("> " + command);
    parser.CommandSent(command);
    parser.DataFollowsConnect(data_follows);
    Write(command + "\r");
    step = Step::kCommand;
    deadline_ms = now_ms + timeout_ms;
    on_result = std::move(then);
    on_timeout = nullptr;
  }

  void Finish(int32_t termination, std::string detail) {
    if (finished) return;
    finished = true;
    step = Step::kDone;
    Log(fmt::format("finished: status {} ({})", termination, detail));
    events.push_back({Class1Event::kFinished, pages_reported, termination, std::move(detail)});
    status = "Idle";
  }

  // Hangs up, then finishes with `termination`.
  void HangUp(int32_t termination, std::string detail) {
    status = "Disconnecting";
    Command("ATH0", setup.command_timeout_ms, false, [this, termination, detail](const AtResult&) {
      Finish(termination, detail);
    });
    // A modem that will not hang up changes nothing about how the call went.
    on_timeout = [this, termination, detail] { Finish(termination, detail + "; the modem did not answer ATH0"); };
  }

  void Fail(core::LineResult result, std::string detail) {
    HangUp(core::TermStatusFor(result), std::move(detail));
  }

  void Start() {
    t30 = t30_init(nullptr, 1, &SetRxType, this, &SetTxType, this, &SendHdlc, this);
    t30_set_tx_ident(t30, setup.local_id.c_str());
    // Our own header is drawn into the pages; SpanDSP's is not used.
    t30_set_tx_page_header_info(t30, nullptr);
    t30_set_supported_modems(t30, setup.modulations);
    t30_set_ecm_capability(t30, setup.ecm ? 1 : 0);
    int codings = T30_SUPPORT_T4_1D_COMPRESSION;
    if (setup.t4_2d) codings |= T30_SUPPORT_T4_2D_COMPRESSION;
    if (setup.ecm && setup.t6) codings |= T30_SUPPORT_T6_COMPRESSION;
    t30_set_supported_compressions(t30, codings);
    t30_set_tx_file(t30, setup.document.c_str(), -1, -1);
    t30_set_phase_b_handler(t30, &PhaseB, this);
    t30_set_phase_d_handler(t30, &PhaseD, this);
    t30_set_phase_e_handler(t30, &PhaseE, this);

    status = "Dialing";
    Command("AT+FCLASS=1", setup.command_timeout_ms, false, [this](const AtResult& r) {
      if (r.kind != AtResult::kOk) return Fail(core::LineResult::kModemError, "AT+FCLASS=1: " + r.text);
      events.push_back({Class1Event::kDialing, 0, 0, {}});
      const std::string dial = fmt::format("AT{}D{}{}", setup.speaker, setup.tone ? 'T' : 'P', setup.number);
      Command(dial, setup.dial_timeout_ms, true, [this](const AtResult& d) { Dialled(d); });
      on_timeout = [this] {
        // Stop the dial before hanging up: any character does.
        Write(std::string(1, static_cast<char>(kCan)));
        Fail(core::LineResult::kNoAnswer, "nobody answered in time");
      };
    });
  }

  void Dialled(const AtResult& r) {
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
      default: return Fail(core::LineResult::kModemError, "the dial command was refused: " + r.text);
    }
  }

  // --- Receiving V.21 frames. ---
  void BeginFrame() {
    frame.clear();
    step = Step::kRxData;
    deadline_ms = now_ms + 10000;  // a frame lasts at most about 3 s
    t30_hdlc_accept(t30, nullptr, SIG_STATUS_CARRIER_UP, true);
    t30_hdlc_accept(t30, nullptr, SIG_STATUS_FRAMING_OK, true);
  }

  void FrameEnded(const AtResult& r) {
    const bool good = r.kind == AtResult::kOk && frame.size() >= 3;
    // The modem hands over the frame with its two FCS octets; T.30 wants it without.
    const size_t length = frame.size() >= 2 ? frame.size() - 2 : 0;
    const bool final = frame.size() >= 2 && (static_cast<uint8_t>(frame[1]) & 0x10);
    Log(fmt::format("< frame {} bytes fcf {:02x} {}{}", length,
                    frame.size() >= 3 ? static_cast<uint8_t>(frame[2]) : 0, good ? "OK" : "bad",
                    final ? " final" : ""));
    step = Step::kIdle;
    last_was_rx = true;
    t30_hdlc_accept(t30, reinterpret_cast<const uint8_t*>(frame.data()), static_cast<int>(length), good);
    if (final || !good) t30_hdlc_accept(t30, nullptr, SIG_STATUS_CARRIER_DOWN, true);
  }

  void Listen() {
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

  // Stops a +FRH that waits for a carrier, so we may talk.
  void StopListening() {
    listening = false;
    Log("> <CAN>");
    Write(std::string(1, static_cast<char>(kCan)));
    on_result = [this](const AtResult& r) {
      if (r.kind == AtResult::kConnect) return BeginFrame();  // a frame won the race
      step = Step::kIdle;
    };
    deadline_ms = now_ms + 2000;
  }

  // --- Sending V.21 frames. ---
  void Talk() {
    const bool after_rx = last_was_rx;
    last_was_rx = false;
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

  void SendFrames() {
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

  void FrameAcknowledged(const AtResult& r) {
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

  // --- Sending image data (the training check and the pages). ---
  void SendData(const TxRequest& request) {
    const int code = ModulationCode(request.type, request.bit_rate, request.short_train != 0);
    last_was_rx = false;
    status = request.short_train ? status : "Training";
    Command("AT+FTS=8", setup.command_timeout_ms, false, [this, code, request](const AtResult&) {
      Command(fmt::format("AT+FTM={}", code), setup.command_timeout_ms, false, [this, request](const AtResult& r) {
        if (r.kind == AtResult::kFcError) {
          return Fail(core::LineResult::kModemError, "the modem would not send at this speed");
        }
        if (r.kind != AtResult::kConnect) return Fail(core::LineResult::kModemError, "AT+FTM: " + r.text);
        data_rate = request.bit_rate;
        data_started_ms = now_ms;
        data_pulled = 0;
        if (request.hdlc) {
          StartEcm();
        } else {
          step = Step::kTxData;
          PumpData();
        }
      });
    });
  }

  void PumpData() {
    if (step != Step::kTxData) return;
    // Keep a little more than the line has taken so far: never starve the
    // modem (it would drop the carrier), never flood it.
    const int64_t budget = static_cast<int64_t>(data_rate) / 8 * (now_ms - data_started_ms + kLeadMs) / 1000;
    uint8_t chunk[512];
    while (data_pulled < budget) {
      const int want = static_cast<int>(std::min<int64_t>(sizeof chunk, budget - data_pulled));
      const int got = t30_non_ecm_get_chunk(t30, chunk, want);
      if (got > 0) {
        Write(Shielded(chunk, static_cast<size_t>(got)));
        data_pulled += got;
      }
      if (got < want) {
        Log(fmt::format("> data {} bytes <DLE><ETX>", data_pulled));
        Write(std::string{char(kDle), char(kEtx)});
        step = Step::kTxDrain;
        // The modem says OK when the last byte has left it.
        deadline_ms = now_ms + setup.command_timeout_ms + kLeadMs * 4;
        return;
      }
    }
  }

  // --- ECM frames as high-speed data. ---
  static void HdlcUnderflow(void* user) { static_cast<Impl*>(user)->hdlc_idle = true; }

  void StartEcm() {
    if (hdlc) hdlc_tx_free(hdlc);
    hdlc = hdlc_tx_init(nullptr, 0, 2, 0, &HdlcUnderflow, this);
    hdlc_idle = false;
    // A fifth of a second of flags lets the far receiver find the frames.
    hdlc_tx_flags(hdlc, data_rate / 8 / 5);
    step = Step::kTxEcm;
    PumpEcm();
  }

  void PumpEcm() {
    if (step != Step::kTxEcm) return;
    const int64_t budget = static_cast<int64_t>(data_rate) / 8 * (now_ms - data_started_ms + kLeadMs) / 1000;
    std::string chunk;
    while (data_pulled < budget) {
      if (hdlc_idle && !frames.empty()) {
        if (!frames.front()) {
          // The burst is over and its last frame is out: close with flags and end the data.
          frames.pop_front();
          for (int i = 0; i < 4; ++i) chunk.push_back(static_cast<char>(0x7e));
          Write(Shielded(reinterpret_cast<const uint8_t*>(chunk.data()), chunk.size()));
          Log(fmt::format("> ecm data {} bytes <DLE><ETX>", data_pulled + 4));
          Write(std::string{char(kDle), char(kEtx)});
          hdlc_tx_free(hdlc);
          hdlc = nullptr;
          step = Step::kTxDrain;
          deadline_ms = now_ms + setup.command_timeout_ms + kLeadMs * 4;
          return;
        }
        const std::string f = *frames.front();
        frames.pop_front();
        hdlc_idle = false;
        hdlc_tx_frame(hdlc, reinterpret_cast<const uint8_t*>(f.data()), f.size());
        StepComplete();  // T.30 queues its next frame at once
        continue;
      }
      // Class 1 data goes least significant bit first; the framer gives the first bit on top.
      chunk.push_back(static_cast<char>(bit_reverse8(static_cast<uint8_t>(hdlc_tx_get_byte(hdlc)))));
      ++data_pulled;
    }
    Write(Shielded(reinterpret_cast<const uint8_t*>(chunk.data()), chunk.size()));
  }

  // --- The scheduler: what T.30 wants next, when nothing is in flight. ---
  void Advance() {
    if (finished || step != Step::kIdle) return;
    if (aborting) return;
    if (tx.seq != tx_served) {
      const TxRequest request = tx;
      switch (request.type) {
        case T30_MODEM_NONE:
        case T30_MODEM_CNG:
        case T30_MODEM_CED:
          // The modem makes the calling tone itself while it dials.
          tx_served = request.seq;
          break;
        case T30_MODEM_PAUSE:
          // A modem that is not sending is silent already: the pause is ours to wait.
          tx_served = request.seq;
          step = Step::kPause;
          deadline_ms = now_ms + request.short_train;
          return;
        case T30_MODEM_DONE:
          tx_served = request.seq;
          return HangUp(core::TermStatusFor(completion),
                        completion == T30_ERR_OK ? "sent" : t30_completion_code_to_str(completion));
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
    if (rx_type == T30_MODEM_V21 && rx_hdlc && tx.type == T30_MODEM_NONE && now_ms >= not_before_ms) Listen();
  }

  // --- Results from the modem. ---
  void OnResult(const AtResult& r) {
    if (r.kind == AtResult::kEcho) return;
    if (r.kind == AtResult::kRing) {
      Log("< RING (ignored)");
      return;
    }
    if (r.kind == AtResult::kData) {
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

  void TimedOut() {
    Log("timeout");
    if (step == Step::kCommand && on_timeout) {
      auto handler = std::move(on_timeout);
      on_timeout = nullptr;
      return handler();
    }
    if (aborting) return Finish(core::TermStatusFor(core::LineResult::kCancelled), "cancelled");
    aborting = true;  // no more T.30 steps: only the hang-up is left
    return Fail(core::LineResult::kModemSilent, "the modem stopped answering");
  }

  void Flush() {
    while (!out.empty()) {
      const long n = port.Write(reinterpret_cast<const uint8_t*>(out.data()), out.size());
      if (n <= 0) {
        if (n < 0) Finish(core::TermStatusFor(core::LineResult::kModemSilent), "the port went away");
        return;
      }
      out.erase(0, static_cast<size_t>(n));
    }
  }

  void Poll(int elapsed_ms) {
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
      if (aborting) {
        HangUp(core::TermStatusFor(core::LineResult::kCancelled), "cancelled");
      } else {
        StepComplete();
        Advance();
      }
    }
    if (!finished && step != Step::kIdle && step != Step::kTxData && step != Step::kTxEcm && now_ms > deadline_ms) {
      TimedOut();
    }
    Flush();
  }

  void Abort() {
    if (finished || aborting) return;
    aborting = true;
    Log("abort");
    // Whatever the modem is doing: end data we send, stop a receive, then hang up.
    Write(std::string{char(kDle), char(kEtx), char(kCan)});
    parser.Reset();
    status = "Disconnecting";
    // Let the modem answer what we broke off before we hang up.
    step = Step::kPause;
    deadline_ms = now_ms + kAbortSettleMs;
    Flush();
  }
};

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

void Class1Call::Abort() { impl_->Abort(); }
bool Class1Call::Finished() const { return impl_->finished; }

std::string Class1Call::RemoteIdent() const {
  const char* ident = impl_->t30 ? t30_get_rx_ident(impl_->t30) : nullptr;
  return ident ? ident : "";
}

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
