#include "engines/line/line_bank.h"

#include <spandsp.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include <fmt/format.h>

#include "components/fax_control_events.h"
#include "engines/bank_registration.h"
#include "engines/core/bank_state.h"
#include "engines/core/document.h"
#include "engines/core/leftovers.h"
#include "engines/core/termination_status.h"
#include "engines/core/received_file.h"
#include "engines/line/t30_line.h"
#include "platform/apartment.h"
#include "platform/private_files.h"
#include "values/enums.h"

namespace qvfax::line {

namespace {

constexpr int kSliceBlocks = 50;        // one second of line time per slice
constexpr int64_t kRingMs = 6000;       // one ring cadence
constexpr int64_t kBusyMs = 4000;       // busy tone heard before giving up
constexpr int64_t kNoAnswerMs = 45000;  // how long an unanswered call rings
constexpr int64_t kHangUpMs = 1000;

}  // namespace

struct LineBank::Call {
  std::unique_ptr<T30Line> line;
  std::string document;  // the assembled pages, removed after the call
  std::string received;  // a call that came in: where its pages go
  RemoteFax remote;
  int64_t connected_at_ms = -1;
};

LineBank::LineBank(LineConfig config, std::shared_ptr<Clock> clock)
    : core::Bank(config.ports, std::move(clock), core::PageKind::kT30Bitmap), config_(std::move(config)) {
  core::RemoveLeftoverSends(config_.inbox);
}

LineBank::~LineBank() {
  state().CancelPending();
  if (call_ && !call_->document.empty()) {
    std::error_code ec;
    std::filesystem::remove(call_->document, ec);
  }
}

const std::string& LineBank::LastReceivedFile() const { return last_received_; }

int32_t LineBank::SendNow(const std::string& name, int32_t& fax_id) {
  auto& m = state();
  core::PortState* port = nullptr;
  core::FaxObject* object = nullptr;
  if (const int32_t error = m.CheckSendable(name, fax_id, port, object)) return m.Fail(error);

  MakePrivateFolder(config_.inbox);
  const std::string stamp = core::ReceivedStamp(m.clock->LocalNow());
  auto setup_call = std::make_unique<Call>();
  if (!object->attached.empty()) {
    setup_call->document = (std::filesystem::path(config_.inbox) /
                            fmt::format(".sending-{}-{}.tif", ::getpid(), static_cast<void*>(this))).string();
    if (const int32_t error = core::AssembleDocument(m, *object, setup_call->document)) return m.Fail(error);
  }

  auto remote = config_.directory.find(object->number);
  setup_call->remote = remote == config_.directory.end() ? config_.any_number : remote->second;
  const auto received = core::ReserveReceivedFile(config_.inbox, stamp, object->number);

  const auto& capabilities = port->capabilities;
  CallSetup setup;
  const int port_max_baud = capabilities.count(10) ? capabilities.at(10) : 7;
  int caller_modems = T30_SUPPORT_V27TER;
  if (port_max_baud >= qbfaxvmbr_9600) caller_modems |= T30_SUPPORT_V29;
  if (port_max_baud >= qbfaxvmbr_14400) caller_modems |= T30_SUPPORT_V17;
  const bool port_ecm = capabilities.count(3) && capabilities.at(3) == qbfaxvmbecm_Enable;
  // T.6 only when the port's compression limit reaches 2D MMR.
  const bool port_t6 = !capabilities.count(2) || capabilities.at(2) >= qbfaxvmc_2DMMR;
  setup.ours = {m.local_id, port_ecm && object->ecm != qbfaxvmbecm_Disable, port_t6, caller_modems};
  const auto& r = setup_call->remote;
  setup.remote = {r.csi, r.ecm, r.t6, T30_SUPPORT_V27TER | T30_SUPPORT_V29 | (r.v17 ? T30_SUPPORT_V17 : 0)};
  setup.tx_file = setup_call->document;
  setup.rx_file = received.string();
  setup.remote_is_fax = r.answer != RemoteFax::Answer::kVoice;
  setup.noise_dbm0 = r.noise_dbm0;
  // A fax of no pages dials and rings, then has nothing to send.
  if (!setup_call->document.empty() && (r.answer == RemoteFax::Answer::kFax || r.answer == RemoteFax::Answer::kVoice)) {
    setup_call->line = std::make_unique<T30Line>(setup);
    last_received_ = r.answer == RemoteFax::Answer::kFax ? received.string() : std::string();
  }
  if (last_received_ != received.string()) {
    std::error_code ec;
    std::filesystem::remove(received, ec);  // nothing will be received this time
  }

  m.BeginCall(*port, fax_id, *object);
  call_ = std::move(setup_call);
  m.Schedule(std::chrono::milliseconds(0), [this] {
    auto& s = state();
    s.status_text = "Dialing";
    const std::string port = s.call->port;
    s.Emit([&](FaxControlEvents& e) { e.Dialing(port); });
    s.Emit([&](FaxControlEvents& e) { e.StatusChanged(port); });
    switch (call_->remote.answer) {
      case RemoteFax::Answer::kBusy:
        s.status_text = "Busy";
        s.Schedule(ClockDelay(kBusyMs), [this] { Finish(qbfaxvmstrms_BUSY); });
        break;
      case RemoteFax::Answer::kNoAnswer:
        s.status_text = "Ringing";
        s.Schedule(ClockDelay(kNoAnswerMs), [this] { Finish(qbfaxvmstrms_NO_ANSWER); });
        break;
      default:
        Ring(call_->remote.rings);
    }
  });
  return 0;
}

int32_t LineBank::AnswerNow(const std::string& name, const core::IncomingCall& from, const std::string& file,
                            core::ReceptionDone done) {
  auto& m = state();
  core::PortState* port = nullptr;
  if (const int32_t error = m.CheckAnswerable(name, port)) return m.Fail(error);
  std::error_code ec;
  if (from.document.empty() || !std::filesystem::is_regular_file(from.document, ec)) {
    return m.Fail(qbfaxvmec_FAX_ERR_INVALID_PARAMETER);  // the virtual caller has nothing to send
  }
  auto answered = std::make_unique<Call>();
  auto remote = config_.directory.find(from.caller_number);
  answered->remote = remote == config_.directory.end() ? config_.any_number : remote->second;
  answered->received = file;
  const auto& r = answered->remote;
  const bool port_ecm = port->capabilities.count(3) && port->capabilities.at(3) == qbfaxvmbecm_Enable;
  CallSetup setup;
  setup.remote_calls = true;
  setup.ours = {m.local_id, port_ecm, true, T30_SUPPORT_V27TER | T30_SUPPORT_V29 | T30_SUPPORT_V17};
  setup.remote = {r.csi, r.ecm, r.t6, T30_SUPPORT_V27TER | T30_SUPPORT_V29 | (r.v17 ? T30_SUPPORT_V17 : 0)};
  setup.tx_file = from.document;
  setup.rx_file = file;
  setup.noise_dbm0 = r.noise_dbm0;
  answered->line = std::make_unique<T30Line>(setup);
  m.BeginAnswer(*port, from, std::move(done));
  call_ = std::move(answered);
  // It rings once, then we answer.
  m.Schedule(ClockDelay(kRingMs), [this] {
    state().status_text = "Answered";
    Slice();
  });
  return 0;
}

std::chrono::milliseconds LineBank::ClockDelay(int64_t line_ms) const {
  if (config_.speed <= 0) return std::chrono::milliseconds(0);
  return std::chrono::milliseconds(static_cast<int64_t>(static_cast<double>(line_ms) / config_.speed));
}

void LineBank::Ring(int rings_left) {
  auto& s = state();
  if (rings_left <= 0) {
    s.status_text = "Answered";
    if (!call_->line) {
      Finish(qbfaxvmstrms_NO_SEND_DOCUMET);
      return;
    }
    Slice();
    return;
  }
  s.status_text = "Ringing";
  s.Schedule(ClockDelay(kRingMs), [this, rings_left] { Ring(rings_left - 1); });
}

void LineBank::Slice() {
  auto& s = state();
  if (!s.call || !call_ || !call_->line) return;
  const std::string port = s.call->port;
  for (const auto& event : call_->line->Step(kSliceBlocks)) {
    switch (event.kind) {
      case LineEvent::kConnected:
        call_->connected_at_ms = call_->line->LineMs();
        s.Trained(call_->line->RemoteIdent(), call_->line->BitRate(), call_->line->Ecm());
        break;
      case LineEvent::kPage:
        s.PagesThrough(event.page, call_->line->BitRate(), call_->line->Ecm());
        break;
      case LineEvent::kFinished: {
        const int32_t status = core::TermStatusFor(event.completion);
        s.SendFinishedIfDelivered(status, call_->line->RemoteIdent());
        s.status_text = "Disconnecting";
        s.Schedule(ClockDelay(kHangUpMs), [this, status] { Finish(status); });
        return;
      }
    }
  }
  if (!s.call || !call_ || !call_->line) return;
  if (!call_->line->Active()) {
    s.status_text = "Disconnecting";
    s.Schedule(ClockDelay(kHangUpMs), [this] { Finish(qbfaxvmstrms_DISCONNECT); });
    return;
  }
  s.Schedule(ClockDelay(static_cast<int64_t>(kSliceBlocks) * T30Line::kBlockMs), [this] { Slice(); });
}

void LineBank::Finish(int32_t status) {
  auto& s = state();
  if (!s.call) return;
  if (call_ && call_->line && call_->connected_at_ms >= 0) {
    s.call->connection_ms = static_cast<int32_t>(call_->line->LineMs() - call_->connected_at_ms);
  }
  if (s.call->incoming) return StopReceiving(status);
  if (call_ && !call_->document.empty()) {
    std::error_code ec;
    std::filesystem::remove(call_->document, ec);
  }
  if (call_ && call_->line) {
    call_->line->HangUp();
    if (!last_received_.empty()) {
      std::error_code ec;
      // A call that ended before any page leaves no empty file behind.
      if (std::filesystem::file_size(last_received_, ec) == 0 && !ec) std::filesystem::remove(last_received_, ec);
      // The remote's fax is someone's document: its owner's eyes only.
      std::filesystem::permissions(last_received_, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                                   ec);
      s.journal.push_back("Received " + last_received_);
    }
  }
  call_.reset();
  s.Terminate(status);
}

void LineBank::StopReceiving(int32_t status) {
  core::Reception reception;
  reception.file = call_->received;
  reception.status = status;
  if (call_->line) {
    call_->line->HangUp();
    reception.remote_id = call_->line->RemoteIdent();
    reception.pages = call_->line->Pages();
    reception.bit_rate = call_->line->BitRate();
    reception.ecm = call_->line->Ecm();
  }
  call_.reset();
  Bank::EndReception(std::move(reception));
}

void LineBank::BreakOffCall() {
  auto& s = state();
  s.call->hanging_up = true;
  s.CancelPending();
  if (call_ && call_->line) {
    // The remote hears us hang up: its session ends too.
    if (call_->connected_at_ms >= 0) {
      s.call->connection_ms = static_cast<int32_t>(call_->line->LineMs() - call_->connected_at_ms);
    }
    call_->line->HangUp();
  }
  s.status_text = "Disconnecting";
  s.Schedule(ClockDelay(kHangUpMs), [this] { Finish(qbfaxvmstrms_ABORT); });
}

void RegisterLineEngine(ComponentRegistry& registry, LineConfig config,
                        std::function<void(std::shared_ptr<LineBank>)> on_create) {
  RegisterBank<LineBank>(
      registry, [config](ApartmentContext& apartment) { return std::make_shared<LineBank>(config, apartment.clock); },
      std::move(on_create));
}

}  // namespace qvfax::line
