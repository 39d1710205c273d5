// The bookkeeping of a bank's one call: its pending steps on the clock, its
// events, and its end with the port idle again.
#include <algorithm>

#include <fmt/format.h>

#include "components/fax_control_events.h"
#include "engines/core/bank_state.h"
#include "platform/apartment.h"
#include "values/enums.h"

namespace qvfax::core {

void Bank::State::Schedule(std::chrono::milliseconds delay, std::function<void()> step) {
  auto id = std::make_shared<Clock::TimerId>(0);
  *id = clock->Schedule(delay, [this, id, step = std::move(step)] {
    if (call) call->pending.erase(*id);
    RunGuarded("fax call", step);
  });
  call->pending.insert(*id);
}

void Bank::State::ScheduleOrReady(int fd, bool write, std::chrono::milliseconds delay, std::function<void()> step) {
  auto id = std::make_shared<Clock::TimerId>(0);
  *id = clock->ScheduleOrReady(fd, write, delay, [this, id, step = std::move(step)] {
    if (call) call->pending.erase(*id);
    RunGuarded("fax call", step);
  });
  call->pending.insert(*id);
}

int32_t Bank::State::CheckSendable(const std::string& name, int32_t fax_id, PortState*& port, FaxObject*& fax) {
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

void Bank::State::BeginCall(PortState& port, int32_t fax_id, const FaxObject& fax) {
  Call started;
  started.port = port.config.name;
  started.fax_id = fax_id;
  started.pages_total = static_cast<int32_t>(fax.attached.size());
  journal.push_back(fmt::format("SendNow({}, {}) {} pages to {}", started.port, fax_id, started.pages_total,
                                fax.number));
  call = std::move(started);
  port.working = true;
  page_number = 0;
  page_ready_text.clear();
  baud_text.clear();
}

void Bank::State::CancelPending() {
  if (!call) return;
  for (auto id : call->pending) clock->Cancel(id);
  call->pending.clear();
}

void Bank::State::Emit(const std::function<void(FaxControlEvents&)>& event) {
  if (listener) event(*listener);
}

void Bank::State::PageStarted(int32_t page) {
  page_number = static_cast<int16_t>(page);
  status_text = fmt::format("Sending page {}", page);
  const std::string port = call->port;
  Emit([&](FaxControlEvents& e) { e.PageStarted(port, page); });
}

void Bank::State::PageEnded(int32_t page) {
  call->pages_done = page;
  page_ready_text = fmt::format("Page {} ready", page);
  const std::string port = call->port;
  Emit([&](FaxControlEvents& e) { e.PageEnded(port, page); });
}

void Bank::State::Trained(const std::string& remote_id, int bit_rate, bool ecm) {
  call->connected = true;
  if (call->incoming) {
    page_number = 1;
    status_text = "Receiving";
    return;
  }
  call->connected_at = clock->Now();
  baud_text = std::to_string(bit_rate);
  negotiated_ecm[call->fax_id] = ecm;
  status_text = "Connected";
  const std::string port = call->port;
  Emit([&](FaxControlEvents& e) { e.Connected(port, remote_id); });
  Emit([&](FaxControlEvents& e) { e.SendStarted(port); });
  if (call->pages_total > 0) PageStarted(1);
}

void Bank::State::PagesThrough(int pages, int bit_rate, bool ecm) {
  if (call->incoming) {
    call->pages_done = pages;
    page_number = static_cast<int16_t>(pages + 1);
    return;
  }
  const int page = std::min(pages, call->pages_total);
  if (page <= call->pages_done) return;
  baud_text = std::to_string(bit_rate);
  negotiated_ecm[call->fax_id] = ecm;
  PageEnded(page);
  if (page < call->pages_total) PageStarted(page + 1);
}

bool Bank::State::Delivered(int32_t status) const {
  return status == qbfaxvmstrms_NORMAL && call && call->pages_done == call->pages_total;
}

void Bank::State::SendFinishedIfDelivered(int32_t status, const std::string& remote_id) {
  if (call->incoming || !Delivered(status)) return;
  const std::string port = call->port;
  Emit([&](FaxControlEvents& e) { e.SendFinished(port, 0, remote_id); });
}

void Bank::State::Terminate(int32_t status, const std::string& reason) {
  CancelPending();
  std::string why = reason;
  if (status == qbfaxvmstrms_NORMAL && !Delivered(status)) {
    // A receiver that rejected a page (RTN to the end) still lets the call end normally.
    status = qbfaxvmstrms_PHASE_C;
    why = fmt::format("the remote confirmed {} of {} pages", call->pages_done, call->pages_total);
  }
  Call ended = std::move(*call);
  call.reset();
  const int32_t connection_ms =
      ended.connection_ms ? *ended.connection_ms
      : ended.connected   ? static_cast<int32_t>((clock->Now() - ended.connected_at).count())
                          : 0;
  status_text = status == qbfaxvmstrms_NORMAL || why.empty() ? "Idle" : why;
  journal.push_back(fmt::format("TransmissionTerminated({}, {}, {}, {})", ended.port, status, ended.pages_done,
                                connection_ms));
  Emit([&](FaxControlEvents& e) {
    e.TransmissionTerminated(ended.port, status, static_cast<int16_t>(ended.pages_done), connection_ms, "", "");
  });
  if (auto* port = Find(ended.port)) port->working = false;
  Emit([&](FaxControlEvents& e) { e.StatusChanged(ended.port); });
}

int32_t Bank::AbortPort(std::string& name) {
  auto& m = *state_;
  auto* port = m.Find(name);
  if (!port) return m.Fail(qbfaxvmec_FAX_ERR_COMMPORT_NOT_EXISTS);
  if (!port->open) return m.Fail(qbfaxvmec_FER_PORTCLOSED);
  if (!m.call || m.call->port != name) return 0;
  m.journal.push_back("AbortPort(" + name + ")");
  if (!m.call->hanging_up) BreakOffCall();
  return 0;
}

}  // namespace qvfax::core
