// The fax control's events: they keep the port status, the connection times,
// the remote id, the pages sent and the termination status current, and log
// each stage of the call.
#include <fmt/format.h>

#include "server/server_state.h"
#include "values/res_dll.h"

namespace qvfax {

void QvVavUvaRazUr::RefreshPortStatus(const std::string& port) {
  m_->port_status->ImpostaCodice(m_->mobjFax->GetPortStatus(port));
}

void FaxEventsHandler::CallAnswered(const std::string& port) {
  // This server only sends: an incoming call is broken off at once.
  server_.ScriviLog("Answered incoming call on " + port);
  std::string name = port;
  server_.m().mobjFax->AbortPort(name);
}

void FaxEventsHandler::Dialing(const std::string& port) {
  server_.RefreshPortStatus(port);
  server_.m().ora_inizio = server_.m().clock().LocalNow();
  server_.ScriviLog("Dialing on port " + port + " ...");
}

void FaxEventsHandler::RingDetected(const std::string& port) {
  server_.ScriviLog("Incoming ring detected on " + port + " ...");
}

void FaxEventsHandler::SendStarted(const std::string& port) {
  server_.RefreshPortStatus(port);
  server_.ScriviLog("Starting to send on port " + port + " ...");
}

void FaxEventsHandler::SendFinished(const std::string& port, int32_t, const std::string& remote_id) {
  server_.RefreshPortStatus(port);
  server_.ScriviLog("Sending finished to '" + remote_id + "' on port " + port);
}

void FaxEventsHandler::PageStarted(const std::string& port, int32_t page) {
  server_.RefreshPortStatus(port);
  server_.ScriviLog(fmt::format("Starting page {} on port {} ...", page, port));
}

void FaxEventsHandler::PageEnded(const std::string& port, int32_t page) {
  server_.RefreshPortStatus(port);
  server_.ScriviLog(fmt::format("Ending page {} on port {} ...", page, port));
}

void FaxEventsHandler::Connected(const std::string& port, const std::string& remote_id) {
  server_.m().id_remoto = remote_id;
  server_.ScriviLog("Connected to '" + remote_id + "' on port " + port);
}

void FaxEventsHandler::StatusChanged(const std::string& port) { server_.RefreshPortStatus(port); }

void FaxEventsHandler::TransmissionTerminated(const std::string& port, int32_t status, int16_t pages,
                                              int32_t connection_ms, const std::string& did,
                                              const std::string& dtmf) {
  auto& m = server_.m();
  // A call that never connected ends when it started.
  m.ora_fine = connection_ms > 0 ? m.clock().LocalNow() : m.ora_inizio;
  m.pagine_trasmesse = pages;
  server_.ScriviLog("Transmission terminated on port " + port);
  int32_t status_ref = status;
  const std::string status_text = m.mobjFax->TermStatusText(status_ref);
  server_.ScriviLog(fmt::format("Termination status ({}) {} on port {}", status, status_text, port));
  server_.ScriviLog(fmt::format("Connected for {} milliseconds on port {}", connection_ms, port));
  server_.ScriviLog(fmt::format("Pages sent {} on port {}", pages, port));
  int32_t fax_id = m.mlngFaxId;
  server_.ScriviLog("ECM " + DescribeCode(1400, m.mobjFax->GetFaxParameter(fax_id, 2)));
  fax_id = m.mlngFaxId;
  server_.ScriviLog("BFT " + DescribeCode(400, m.mobjFax->GetFaxParameter(fax_id, 3)));
  if (!did.empty()) server_.ScriviLog("DID received on " + did + " on port " + port);
  if (!dtmf.empty()) server_.ScriviLog("DTMF received on " + dtmf + " on port " + port);
  m.trm_status->ImpostaCodice(status);
}

}  // namespace qvfax
