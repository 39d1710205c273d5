// A simulated call: dialling, answer, training, pages and hang-up, each step
// on the apartment's clock, each event raised on the apartment's thread.
#include <fmt/format.h>

#include "components/fax_control_events.h"
#include "engines/bank_registration.h"
#include "engines/core/bank_state.h"
#include "engines/pages/raw_pages.h"
#include "engines/pages/tiff_pages.h"
#include "engines/sim/sim_bank.h"
#include "platform/apartment.h"
#include "values/enums.h"

namespace qvfax::sim {

namespace {
constexpr int32_t kRingTimeoutMs = 45000;  // how long an unanswered call rings
}

SimBank::SimBank(Config config, std::shared_ptr<Clock> clock)
    : core::Bank(config.ports, std::move(clock), core::PageKind::kAnyTiff), config_(std::move(config)) {}

int32_t SimBank::SendNow(const std::string& name, int32_t& fax_id) {
  auto& m = state();
  core::PortState* port = nullptr;
  core::FaxObject* object = nullptr;
  if (const int32_t error = m.CheckSendable(name, fax_id, port, object)) return m.Fail(error);

  auto remote = config_.remotes.find(object->number);
  remote_ = remote == config_.remotes.end() ? config_.other_numbers : remote->second;
  if (++(*config_.calls)[object->number] <= remote_.busy_first) remote_.answer = Answer::kBusy;
  const auto& modem = *port->config.modem;
  m.BeginCall(*port, fax_id, *object);
  // The line trains at the slowest of what the remote, the modem and the
  // port's maximum allow; ECM only when all three sides want it.
  const int32_t port_max = port->capabilities.count(10) ? port->capabilities[10] : modem.max_baud;
  const int32_t local_max_bps = 2400 * (std::min(port_max, modem.max_baud) - 1);
  m.call->speed = std::min(remote_.speed, local_max_bps);
  m.call->ecm = remote_.ecm && port->capabilities[3] == qbfaxvmbecm_Enable && object->ecm != qbfaxvmbecm_Disable;
  m.Schedule(std::chrono::milliseconds(0), [this] { Dial(); });
  return 0;
}

void SimBank::Dial() {
  auto& m = state();
  m.status_text = "Dialing";
  const std::string port = m.call->port;
  m.Emit([&](FaxControlEvents& e) { e.Dialing(port); });
  m.Emit([&](FaxControlEvents& e) { e.StatusChanged(port); });
  const auto& timing = config_.timing;
  switch (remote_.answer) {
    case Answer::kBusy:
      m.Schedule(std::chrono::milliseconds(timing.dial_ms), [this] {
        state().status_text = "Busy";
        HangUp(qbfaxvmstrms_BUSY);
      });
      break;
    case Answer::kNoAnswer:
      m.Schedule(std::chrono::milliseconds(timing.dial_ms), [this] { state().status_text = "Ringing"; });
      m.Schedule(std::chrono::milliseconds(timing.dial_ms + kRingTimeoutMs), [this] {
        state().status_text = "No answer";
        HangUp(qbfaxvmstrms_NO_ANSWER);
      });
      break;
    case Answer::kNoCarrier:
      m.Schedule(std::chrono::milliseconds(timing.dial_ms + timing.answer_ms), [this] {
        state().status_text = "No carrier";
        HangUp(qbfaxvmstrms_CARRIER);
      });
      break;
    case Answer::kFax:
      m.Schedule(std::chrono::milliseconds(timing.dial_ms), [this] { state().status_text = "Ringing"; });
      m.Schedule(std::chrono::milliseconds(timing.dial_ms + timing.answer_ms), [this] { Answer(); });
      break;
  }
}

void SimBank::Answer() {
  auto& m = state();
  m.call->connected = true;
  m.call->connected_at = m.clock->Now();
  m.status_text = "Connected";
  m.baud_text = std::to_string(m.call->speed);
  m.negotiated_ecm[m.call->fax_id] = m.call->ecm;
  const std::string port = m.call->port;
  const std::string station = remote_.station_id;
  m.Emit([&](FaxControlEvents& e) { e.Connected(port, station); });
  m.Schedule(std::chrono::milliseconds(config_.timing.training_ms), [this] {
    auto& s = state();
    s.status_text = "Training";
    const std::string port = s.call->port;
    s.Emit([&](FaxControlEvents& e) { e.SendStarted(port); });
    if (s.call->pages_total == 0) {
      HangUp(qbfaxvmstrms_NORMAL);
    } else {
      StartPage(1);
    }
  });
}

void SimBank::StartPage(int32_t page) {
  auto& m = state();
  m.PageStarted(page);
  // A page takes longer on a slower line.
  const auto duration = std::chrono::milliseconds(static_cast<int64_t>(config_.timing.page_ms) * 14400 /
                                                  std::max(m.call->speed, 2400));
  if (remote_.fail_at_page == page) {
    m.Schedule(duration / 2, [this] {
      state().status_text = "Line lost";
      HangUp(qbfaxvmstrms_PHASE_C);
    });
    return;
  }
  m.Schedule(duration, [this, page] { EndPage(page); });
}

void SimBank::EndPage(int32_t page) {
  auto& m = state();
  const bool rejected = remote_.reject_from_page > 0 && page >= remote_.reject_from_page;
  if (!rejected) m.PageEnded(page);
  if (page < m.call->pages_total) {
    StartPage(page + 1);
    return;
  }
  m.SendFinishedIfDelivered(qbfaxvmstrms_NORMAL, remote_.station_id);
  HangUp(qbfaxvmstrms_NORMAL);
}

void SimBank::HangUp(int32_t status) {
  auto& m = state();
  if (m.call->hanging_up) return;
  m.call->hanging_up = true;
  m.status_text = "Disconnecting";
  m.Schedule(std::chrono::milliseconds(config_.timing.hangup_ms), [this, status] { state().Terminate(status); });
}

void SimBank::BreakOffCall() {
  state().CancelPending();
  if (state().call->incoming) return StopReceiving(qbfaxvmstrms_ABORT);
  HangUp(qbfaxvmstrms_ABORT);
}

int32_t SimBank::AnswerNow(const std::string& name, const core::IncomingCall& from, const std::string& file,
                           core::ReceptionDone done) {
  auto& m = state();
  core::PortState* port = nullptr;
  if (const int32_t error = m.CheckAnswerable(name, port)) return m.Fail(error);
  const int pages = pages::CountPages(from.document);
  if (pages <= 0) return m.Fail(qbfaxvmec_FAX_ERR_INVALID_PARAMETER);  // the scripted caller has nothing to send
  auto remote = config_.remotes.find(from.caller_number);
  remote_ = remote == config_.remotes.end() ? config_.other_numbers : remote->second;
  received_file_ = file;
  m.BeginAnswer(*port, from, std::move(done));
  m.call->pages_total = pages;
  m.call->speed = remote_.speed;
  m.call->ecm = remote_.ecm;
  const auto& timing = config_.timing;
  m.Schedule(std::chrono::milliseconds(timing.answer_ms), [this] {
    auto& s = state();
    s.call->connected = true;
    s.status_text = "Receiving";
    s.Schedule(std::chrono::milliseconds(config_.timing.training_ms), [this] { ReceivePage(1); });
  });
  return 0;
}

void SimBank::ReceivePage(int32_t page) {
  auto& m = state();
  m.page_number = static_cast<int16_t>(page);
  const auto duration = std::chrono::milliseconds(static_cast<int64_t>(config_.timing.page_ms) * 14400 /
                                                  std::max(m.call->speed, 2400));
  if (remote_.fail_at_page == page) {
    m.Schedule(duration / 2, [this] { StopReceiving(qbfaxvmstrms_PHASE_C); });
    return;
  }
  m.Schedule(duration, [this, page] {
    auto& s = state();
    s.call->pages_done = page;
    if (page < s.call->pages_total) return ReceivePage(page + 1);
    StopReceiving(qbfaxvmstrms_NORMAL);
  });
}

void SimBank::StopReceiving(int32_t status) {
  auto& m = state();
  core::Reception reception;
  reception.file = received_file_;
  reception.status = status;
  reception.remote_id = remote_.station_id;
  reception.pages = m.call->pages_done;
  reception.bit_rate = m.call->speed;
  reception.ecm = m.call->ecm;
  // The pages that came are those the caller sent, as they were coded.
  std::vector<std::pair<std::string, int16_t>> arrived;
  for (int16_t p = 1; p <= reception.pages; ++p) arrived.emplace_back(m.call->from.document, p);
  if (arrived.empty() || pages::CopyCodedPages(arrived, received_file_) != 0) reception.pages = 0;
  Bank::EndReception(std::move(reception));
}

void RegisterSimEngine(ComponentRegistry& registry, Config config,
                       std::function<void(std::shared_ptr<SimBank>)> on_create) {
  RegisterBank<SimBank>(
      registry, [config](ApartmentContext& apartment) { return std::make_shared<SimBank>(config, apartment.clock); },
      std::move(on_create));
}

}  // namespace qvfax::sim
