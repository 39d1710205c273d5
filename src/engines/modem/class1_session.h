// The inside of a Class 1 call, shared by the files that carry it out:
// class1_call.cc (the scheduler, results and the hang-up), class1_dial.cc and
// class1_answer.cc (how the call begins, by direction), class1_frames.cc
// (V.21 frames both ways), class1_image.cc (the training check and the pages
// sent, plain or as ECM frames) and class1_receive.cc (the same, received).
#pragma once

#include <spandsp.h>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engines/core/termination_status.h"
#include "engines/modem/at_parser.h"
#include "engines/modem/class1_call.h"

namespace qvfax::modem {

namespace class1 {
inline constexpr uint8_t kDle = 0x10;
inline constexpr uint8_t kEtx = 0x03;
inline constexpr uint8_t kCan = 0x18;

inline constexpr int kMaxCallMs = 30 * 60 * 1000;  // then the call is dropped
inline constexpr int kFrhGuardMs = 30000;          // T.30's own timers end a silent wait long before this
inline constexpr int kLeadMs = 1400;               // image data kept ahead of the line, against underrun
inline constexpr int kAbortSettleMs = 300;
// T.30's timers run for seconds (T4 3 s, T2 6 s): half a second late is within their tolerance.
inline constexpr int kTimerSliceMs = 500;   // the longest sleep while waiting for the modem
inline constexpr int kPacingSliceMs = 800;  // image data is topped up this often (kLeadMs keeps the modem fed)

// Bytes with every DLE doubled, as data to a modem must be.
std::string Shielded(const uint8_t* bytes, size_t length);
// The +FTM/+FRM code of a T.30 modulation at a bit rate, or 0.
int ModulationCode(int type, int bit_rate, bool short_train);
}  // namespace class1

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
    kRxImage,     // +FRM answered CONNECT: the training check or a page is arriving
    kRxImageEnd,  // its data ended with DLE ETX: the modem's result follows
    kPause,       // after an abort: the modem's answers are let go by until the deadline
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
  int rx_bit_rate = 0;
  bool rx_short_train = false;
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

  hdlc_rx_state_t* hdlc_in = nullptr;  // the deframer of received ECM frames

  bool connected = false;   // ATD or ATA answered CONNECT
  bool hear_v21 = false;    // +FRM heard V.21 instead: the sender repeats a frame; hear it under +FRH
  bool talking = false;     // ATA left the modem sending V.21 flags: frames go out with no +FTH
  int64_t connected_at_ms = 0;
  bool t30_done = false;
  int completion = T30_ERR_OK;
  bool listening = false;  // a +FRH waits for a carrier and may be stopped
  bool aborting = false;
  int32_t broken_off = 0;  // how the call ends once a break-off has settled
  std::string broken_off_detail;
  bool finished = false;
  int pages_reported = 0;
  std::string remote_ident;  // the TSI as it came, for a sender whose id T.30 would not keep
  std::string status = "Idle";
  std::vector<std::string> trace;
  std::vector<Class1Event> events;

  Impl(SerialPort& p, Class1Setup s) : port(p), setup(std::move(s)) {}
  ~Impl() {
    if (hdlc) hdlc_tx_free(hdlc);
    if (hdlc_in) hdlc_rx_free(hdlc_in);
    if (t30) t30_free(t30);
  }

  void Log(std::string line);

  // --- T.30's front-end callbacks: they only record, Advance() acts. ---
  static void SetRxType(void* user, int type, int, int, int use_hdlc);
  static void SetTxType(void* user, int type, int bit_rate, int short_train, int use_hdlc);
  static void SendHdlc(void* user, const uint8_t* msg, int len);
  static int PhaseB(t30_state_t*, void* user, int);
  int ReportPages();
  static int PhaseD(t30_state_t*, void* user, int);
  static void PhaseE(t30_state_t*, void* user, int code);

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

  void Finish(int32_t termination, std::string detail);

  // Hangs up, then finishes with `termination`.
  void HangUp(int32_t termination, std::string detail);

  void Fail(core::LineResult result, std::string detail);

  void Start();
  // The port's own init commands from `next` on, then class 1, then Dial() or Answer().
  void Initialise(size_t next);

  // --- How the call begins: by dialling, or by answering one that rang. ---
  void Dial();
  void Dialled(const AtResult& r);
  void Answer();
  void Answered(const AtResult& r);

  // --- Receiving V.21 frames. ---
  void BeginFrame();

  void FrameEnded(const AtResult& r);

  void Listen();

  // A receive that heard nothing in its time: stopped, T.30 told the carrier is down.
  void NothingHeard();

  // Stops a +FRH that waits for a carrier, so we may talk.
  void StopListening();

  // --- Sending V.21 frames. ---
  void Talk();

  void SendFrames();

  void FrameAcknowledged(const AtResult& r);

  // --- Sending image data (the training check and the pages). ---
  void SendData(const TxRequest& request);

  void PumpData();

  // --- ECM frames as high-speed data. ---
  static void HdlcUnderflow(void* user) { static_cast<Impl*>(user)->hdlc_idle = true; }

  void StartEcm();

  void PumpEcm();

  // --- Receiving image data (the training check and the pages) under +FRM. ---
  void Receive();
  void ImageData(const std::string& bytes, bool end);
  void ImageEnded(const AtResult& r);
  // Tells T.30 the high-speed carrier went, the way its receiver expects.
  void ImageCarrierDown();

  // --- The scheduler: what T.30 wants next, when nothing is in flight. ---
  void Advance();

  // --- Results from the modem. ---
  void OnResult(const AtResult& r);

  void TimedOut();

  void Flush();

  void Poll(int elapsed_ms);

  // Ends whatever the modem is doing (data we send, a receive), lets its
  // answers go by, then hangs up and finishes with `termination`.
  void BreakOff(int32_t termination, std::string detail);
  void Abort();
};

}  // namespace qvfax::modem
