// A simulated call: dialling, answer, training, pages and hang-up, each step
// on the apartment's clock, each event raised on the apartment's thread.
#include <fmt/format.h>

#include "components/fax_control_events.h"
#include "engines/bank_registration.h"
#include "engines/sim/sim_bank_impl.h"
#include "platform/apartment.h"
#include "values/enums.h"

namespace qvfax::sim {

namespace {
constexpr int32_t kRingTimeoutMs = 45000;  // how long an unanswered call rings
}

void SimBank::Impl::Schedule(std::chrono::milliseconds delay, std::function<void()> step) {
  auto id = std::make_shared<Clock::TimerId>(0);
  *id = clock->Schedule(delay, [this, id, step = std::move(step)] {
    if (call) call->pending.erase(*id);
    RunGuarded("sim call", step);
  });
  call->pending.insert(*id);
}

int32_t SimBank::Impl::CheckSendable(const std::string& name, int32_t fax_id, PortState*& port, FaxObject*& fax) {
  port = Find(name);
  if (!port) return qbfaxvmec_FAX_ERR_COMMPORT_NOT_EXISTS;
  if (!port->open) return qbfaxvmec_FER_PORTCLOSED;
  if (port->working || call) return qbfaxvmec_FER_FAXNOW;
  auto it = faxes.find(fax_id);
  if (it == faxes.end()) return qbfaxvmec_FAX_ERR_BAD_FAX_ID;
  fax = &it->second;
  if (fax->number.empty()) return qbfaxvmec_FAX_ERR_NO_PHONE_NUMBER;
  return 0;
}

void SimBank::Impl::CancelPending() {
  if (!call) return;
  for (auto id : call->pending) clock->Cancel(id);
  call->pending.clear();
}

void SimBank::Impl::Emit(const std::function<void(FaxControlEvents&)>& event) {
  if (listener) event(*listener);
}

int32_t SimBank::SendNow(const std::string& name, int32_t& fax_id) {
  auto& m = *impl_;
  PortState* port = nullptr;
  FaxObject* object = nullptr;
  if (const int32_t error = m.CheckSendable(name, fax_id, port, object)) return m.Fail(error);

  Call call;
  call.port = name;
  call.fax_id = fax_id;
  auto remote = m.config.remotes.find(object->number);
  call.remote = remote == m.config.remotes.end() ? m.config.other_numbers : remote->second;
  call.pages_total = static_cast<int32_t>(object->attached.size());
  const auto& modem = *port->config.modem;
  // The line trains at the slowest of what the remote, the modem and the
  // port's maximum allow; ECM only when all three sides want it.
  const int32_t port_max = port->capabilities.count(10) ? port->capabilities[10] : modem.max_baud;
  const int32_t local_max_bps = 2400 * (std::min(port_max, modem.max_baud) - 1);
  call.speed = std::min(call.remote.speed, local_max_bps);
  call.ecm = call.remote.ecm && port->capabilities[3] == qbfaxvmbecm_Enable &&
             object->ecm != qbfaxvmbecm_Disable;
  m.journal.push_back(fmt::format("SendNow({}, {}) {} pages to {}", name, fax_id, call.pages_total,
                                  object->number));
  m.call = std::move(call);
  port->working = true;
  m.page_number = 0;
  m.page_ready_text.clear();
  m.baud_text.clear();
  m.Schedule(std::chrono::milliseconds(0), [&m] { m.Dial(); });
  return 0;
}

void SimBank::Impl::Dial() {
  status_text = "Dialing";
  const std::string port = call->port;
  Emit([&](FaxControlEvents& e) { e.Dialing(port); });
  Emit([&](FaxControlEvents& e) { e.StatusChanged(port); });
  const auto& timing = config.timing;
  switch (call->remote.answer) {
    case Answer::kBusy:
      Schedule(std::chrono::milliseconds(timing.dial_ms), [this] {
        status_text = "Busy";
        HangUp(qbfaxvmstrms_BUSY);
      });
      break;
    case Answer::kNoAnswer:
      Schedule(std::chrono::milliseconds(timing.dial_ms), [this] { status_text = "Ringing"; });
      Schedule(std::chrono::milliseconds(timing.dial_ms + kRingTimeoutMs), [this] {
        status_text = "No answer";
        HangUp(qbfaxvmstrms_NO_ANSWER);
      });
      break;
    case Answer::kNoCarrier:
      Schedule(std::chrono::milliseconds(timing.dial_ms + timing.answer_ms), [this] {
        status_text = "No carrier";
        HangUp(qbfaxvmstrms_CARRIER);
      });
      break;
    case Answer::kFax:
      Schedule(std::chrono::milliseconds(timing.dial_ms), [this] { status_text = "Ringing"; });
      Schedule(std::chrono::milliseconds(timing.dial_ms + timing.answer_ms), [this] { Answer(); });
      break;
  }
}

void SimBank::Impl::Answer() {
  call->connected = true;
  call->connected_at = clock->Now();
  status_text = "Connected";
  baud_text = std::to_string(call->speed);
  negotiated_ecm[call->fax_id] = call->ecm;
  const std::string port = call->port;
  const std::string station = call->remote.station_id;
  Emit([&](FaxControlEvents& e) { e.Connected(port, station); });
  Schedule(std::chrono::milliseconds(config.timing.training_ms), [this] {
    status_text = "Training";
    const std::string port = call->port;
    Emit([&](FaxControlEvents& e) { e.SendStarted(port); });
    if (call->pages_total == 0) {
      HangUp(qbfaxvmstrms_NORMAL);
    } else {
      StartPage(1);
    }
  });
}

void SimBank::Impl::StartPage(int32_t page) {
  page_number = static_cast<int16_t>(page);
  status_text = fmt::format("Sending page {}", page);
  const std::string port = call->port;
  Emit([&](FaxControlEvents& e) { e.PageStarted(port, page); });
  // A page takes longer on a slower line.
  const auto duration = std::chrono::milliseconds(
      static_cast<int64_t>(config.timing.page_ms) * 14400 / std::max(call->speed, 2400));
  if (call->remote.fail_at_page == page) {
    Schedule(duration / 2, [this] {
      status_text = "Line lost";
      HangUp(qbfaxvmstrms_PHASE_C);
    });
    return;
  }
  Schedule(duration, [this, page] { EndPage(page); });
}

void SimBank::Impl::EndPage(int32_t page) {
  call->pages_done = page;
  page_ready_text = fmt::format("Page {} ready", page);
  const std::string port = call->port;
  Emit([&](FaxControlEvents& e) { e.PageEnded(port, page); });
  if (page < call->pages_total) {
    StartPage(page + 1);
    return;
  }
  const std::string station = call->remote.station_id;
  Emit([&](FaxControlEvents& e) { e.SendFinished(port, 0, station); });
  HangUp(qbfaxvmstrms_NORMAL);
}

void SimBank::Impl::HangUp(int32_t status) {
  if (call->hanging_up) return;
  call->hanging_up = true;
  status_text = "Disconnecting";
  Schedule(std::chrono::milliseconds(config.timing.hangup_ms), [this, status] { Terminate(status); });
}

void SimBank::Impl::Terminate(int32_t status) {
  CancelPending();
  Call ended = std::move(*call);
  call.reset();
  const int32_t connection_ms =
      ended.connection_ms ? *ended.connection_ms
      : ended.connected   ? static_cast<int32_t>((clock->Now() - ended.connected_at).count())
                          : 0;
  status_text = "Idle";
  journal.push_back(fmt::format("TransmissionTerminated({}, {}, {}, {})", ended.port, status, ended.pages_done,
                                connection_ms));
  Emit([&](FaxControlEvents& e) {
    e.TransmissionTerminated(ended.port, status, static_cast<int16_t>(ended.pages_done), connection_ms, "", "");
  });
  if (auto* port = Find(ended.port)) port->working = false;
  Emit([&](FaxControlEvents& e) { e.StatusChanged(ended.port); });
}

int32_t SimBank::AbortPort(std::string& name) {
  auto& m = *impl_;
  auto* port = m.Find(name);
  if (!port) return m.Fail(qbfaxvmec_FAX_ERR_COMMPORT_NOT_EXISTS);
  if (!port->open) return m.Fail(qbfaxvmec_FER_PORTCLOSED);
  if (!m.call || m.call->port != name) return 0;
  m.journal.push_back("AbortPort(" + name + ")");
  if (!m.call->hanging_up) BreakOffCall();
  return 0;
}

void SimBank::BreakOffCall() {
  impl_->CancelPending();
  impl_->HangUp(qbfaxvmstrms_ABORT);
}

void RegisterSimEngine(ComponentRegistry& registry, Config config,
                       std::function<void(std::shared_ptr<SimBank>)> on_create) {
  RegisterBank<SimBank>(
      registry, [config](ApartmentContext& apartment) { return std::make_shared<SimBank>(config, apartment.clock); },
      std::move(on_create));
}

}  // namespace qvfax::sim
