// A bank's state, shared by the files that implement the core and by the
// engines built on it.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "components/fax_control_events.h"
#include "engines/core/bank.h"

namespace qvfax::core {

struct FaxObject {
  int16_t fax_type = 1, pages = 0, resolution = 1, width = 1, length = 1, compression = 1, bft = 1,
          ecm = 1, colour_handling = 1, colour_type = 1;
  int16_t send_pages = 0;  // FP_SEND
  std::string number;
  std::vector<std::pair<std::string, int16_t>> attached;  // file, page of the file
};

// The bookkeeping of the call under way; an engine keeps its own machinery beside it.
struct Call {
  std::string port;
  int32_t fax_id = 0;
  int32_t pages_total = 0;
  int32_t pages_done = 0;
  bool ecm = false;
  int32_t speed = 0;
  bool connected = false;
  std::chrono::milliseconds connected_at{0};
  bool hanging_up = false;
  std::optional<int32_t> connection_ms;  // set by engines that count the call's own time
  std::set<Clock::TimerId> pending;
  // A call that came in: its pages are received, not sent, and `received`
  // hears how it ended instead of the control's listener.
  bool incoming = false;
  IncomingCall from;
  ReceptionDone received;
};

struct PortState {
  Port config;
  bool open = false;
  bool working = false;
  std::map<int16_t, int16_t> capabilities;
};

struct Bank::State {
  std::shared_ptr<Clock> clock;
  PageKind page_kind = PageKind::kAnyTiff;
  FaxControlEvents* listener = nullptr;

  std::vector<PortState> ports;
  std::string device_name;
  std::string tested_identity, tested_description, tested_classes;
  std::string local_id, image_file, log_path;
  std::string header_left, header_center, header_right, header_face = "Arial";
  int32_t header_height = 0, header_font_size = 10, speaker_mode = 0, speaker_volume = 0, dial_mode = -1;
  bool header_enabled = false, display_fax_manager = false;
  int32_t last_error = 0;

  int32_t next_fax_id = 1;
  std::map<int32_t, FaxObject> faxes;
  std::map<int32_t, bool> negotiated_ecm;  // by fax id, once a call has trained
  std::optional<Call> call;

  // The fax manager's texts; each address stays valid until the next reading.
  std::string baud_text, page_ready_text, status_text = "Idle";
  int16_t page_number = 0;
  int32_t dialog_mode = 0;
  std::vector<std::string> journal;

  PortState* Find(const std::string& name);
  // 0 when `fax_id` can be sent on port `name` now (setting both), else the control's error code.
  int32_t CheckSendable(const std::string& name, int32_t fax_id, PortState*& port, FaxObject*& fax);
  int32_t Fail(int32_t code) {
    last_error = code;
    return code;
  }

  // Starts the bookkeeping of a call of `fax_id` on `port`, marks the port working.
  void BeginCall(PortState& port, int32_t fax_id, const FaxObject& fax);
  // 0 when `name` is open and idle, so a call can come in on it (setting `port`), else the control's error code.
  int32_t CheckAnswerable(const std::string& name, PortState*& port);
  // Starts the bookkeeping of a call that came in on `port`, marks the port working.
  void BeginAnswer(PortState& port, const IncomingCall& from, ReceptionDone done);
  // Ends a call that came in: the port idle again, then `reception` (its
  // port and duration filled in) goes to whoever the call was answered for.
  void EndAnswer(Reception reception);
  // Runs `step` after `delay` on the clock while the call lasts; Terminate cancels what is pending.
  void Schedule(std::chrono::milliseconds delay, std::function<void()> step);
  // The same, but runs `step` as soon as `fd` is readable (writable, with `write`) if that comes first.
  void ScheduleOrReady(int fd, bool write, std::chrono::milliseconds delay, std::function<void()> step);
  void Emit(const std::function<void(FaxControlEvents&)>& event);
  // Page events with the fax manager's texts kept in step.
  void PageStarted(int32_t page);
  void PageEnded(int32_t page);
  // The line trained, whichever way the call goes. On a call we placed:
  // Connected, SendStarted, and the first page begins; on one that came in,
  // pages are on their way.
  void Trained(const std::string& remote_id, int bit_rate, bool ecm);
  // `pages` pages through so far: confirmed by the remote on a call we placed
  // (the page that ended, and the next one begins), received on one that came in.
  void PagesThrough(int pages, int bit_rate, bool ecm);
  // The engine's own words for why a port cannot be used, kept as the status
  // text while no call is under way.
  void Explain(const std::string& reason) {
    if (!call) status_text = reason;
  }
  // Whether a call that ends with `status` delivered the fax: it ended
  // normally and the remote confirmed every page of the document.
  bool Delivered(int32_t status) const;
  // SendFinished with the remote's id, for a call we placed that delivered the fax.
  void SendFinishedIfDelivered(int32_t status, const std::string& remote_id);
  // Ends the call: TransmissionTerminated with `status`, the port idle again.
  // A normal end with a page left unconfirmed is an error in page
  // transmission, whatever the engine said. `reason`, the engine's own words
  // for a call that failed, stays the status text until the next call.
  void Terminate(int32_t status, const std::string& reason = {});
  void CancelPending();
};

// The value a capability takes on a port whose modem is `modem`: requests the
// modem cannot honour fall back to what it can; 1 ("no change") keeps `current`.
int16_t EffectiveCapability(const Modem& modem, int16_t capability, int16_t requested, int16_t current);
// What a port's capabilities are when it opens.
std::map<int16_t, int16_t> InitialCapabilities(const Modem& modem);

}  // namespace qvfax::core
