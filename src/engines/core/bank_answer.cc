// The receiving side of the engine core: a port taken by a call that came
// in, and the reception handed on when it ends. What the engine does on the
// line is its own; the bookkeeping is shared by every engine.
#include <algorithm>
#include <cmath>
#include <filesystem>

#include <fmt/format.h>

#include "engines/core/bank_state.h"
#include "engines/pages/raw_pages.h"
#include "engines/pages/tiff_pages.h"
#include "values/enums.h"

namespace qvfax::core {

int32_t Bank::AnswerNow(const std::string&, const IncomingCall&, const std::string&, ReceptionDone) {
  return state().Fail(qbfaxvmec_FAX_ERR_INVALID_PARAMETER);  // this engine does not answer
}

int32_t Bank::AnswerCalls(const std::string&, CallRinging) {
  return state().Fail(qbfaxvmec_FAX_ERR_INVALID_PARAMETER);
}

int32_t Bank::State::CheckAnswerable(const std::string& name, PortState*& port) {
  port = Find(name);
  if (!port) return qbfaxvmec_FAX_ERR_COMMPORT_NOT_EXISTS;
  if (!port->open) return qbfaxvmec_FER_PORTCLOSED;
  if (port->working || call) return qbfaxvmec_FER_FAXNOW;
  return 0;
}

void Bank::State::BeginAnswer(PortState& port, const IncomingCall& from, ReceptionDone done) {
  Call answered;
  answered.port = port.config.name;
  answered.incoming = true;
  answered.from = from;
  answered.received = std::move(done);
  answered.connected_at = clock->Now();
  journal.push_back(fmt::format("AnswerNow({}) from {}", answered.port,
                                from.caller_number.empty() ? "an unknown number" : from.caller_number));
  call = std::move(answered);
  port.working = true;
  page_number = 0;
  status_text = "Answering";
}

void Bank::EndReception(Reception reception) {
  std::error_code ec;
  if (reception.pages <= 0) {
    std::filesystem::remove(reception.file, ec);  // nothing came: no empty file is left
    reception.file.clear();
    reception.pages = 0;
  } else {
    // Only what the file holds counts: a page the disk refused was never received.
    const int32_t kept = std::max(pages::CountPages(reception.file), 0);
    if (kept < reception.pages) {
      reception.reason = fmt::format("the disk kept {} of the {} pages received", kept, reception.pages);
      reception.pages = kept;
      reception.status = qbfaxvmstrms_B_FILEIO;
    }
    if (const auto shape = pages::CodedPageShape(reception.file, 1)) {
      reception.y_dpi = static_cast<int32_t>(std::lround(shape->y_dpi));
    }
  }
  reception.complete = reception.status == qbfaxvmstrms_NORMAL && reception.pages > 0;
  if (!reception.complete && reception.reason.empty()) {
    int32_t status = reception.status;
    reception.reason = fmt::format("{} (status {}) after {} pages", TermStatusText(status), reception.status,
                                   reception.pages);
  }
  state().EndAnswer(std::move(reception));
}

void Bank::State::EndAnswer(Reception reception) {
  CancelPending();
  Call ended = std::move(*call);
  call.reset();
  reception.port = ended.port;
  reception.from = ended.from;
  reception.duration_ms = ended.connection_ms ? *ended.connection_ms
                                              : static_cast<int32_t>((clock->Now() - ended.connected_at).count());
  journal.push_back(fmt::format("ReceptionEnded({}, {}, {})", ended.port, reception.status, reception.pages));
  status_text = reception.complete ? "Idle" : reception.reason;
  if (auto* port = Find(ended.port)) port->working = false;
  Emit([&](FaxControlEvents& e) { e.StatusChanged(ended.port); });
  if (ended.received) ended.received(reception);
}

}  // namespace qvfax::core
