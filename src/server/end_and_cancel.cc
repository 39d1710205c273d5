// The end of a transmission, polled once a second until the port is idle, and
// cancelling one, which aborts the call and repeats the abort while the line
// is being released.
#include <algorithm>
#include <cctype>

#include <fmt/format.h>

#include "platform/automation_error.h"
#include "server/server_state.h"

namespace qvfax {

namespace {

bool ContainsIgnoringCase(const std::string& text, const std::string& word) {
  auto it = std::search(text.begin(), text.end(), word.begin(), word.end(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  });
  return it != text.end();
}

}  // namespace

void QvVavUvaRazUr::mobjTimerEnd_TimerEvent() {
  auto& m = *m_;
  // Keep the fax manager's display in step; a change in the setting wins over
  // one made in the control during the same tick.
  const bool setting = LeggiVisualizzaFaxManager();
  const bool shown = m.mobjFax->DisplayFaxManager();
  if (setting != m.show_fax_manager) {
    m.show_fax_manager = setting;
    if (m.errore->Codice() == 0) m.fax_manager->SetDialogMode(setting ? 1 : 0);
  } else if (shown != m.show_fax_manager) {
    m.show_fax_manager = shown;
    ScriviVisualizzaFaxManager(shown);
  }

  // With no modem selected (none was, or the port was closed under the send)
  // there is no port to wait for: finish as for an idle port.
  const bool has_port = m.mobjInfoFaxModem != nullptr;
  if (has_port) {
    m.port_status->ImpostaCodice(m.mobjFax->GetPortStatus(m.PortName()));
    if (m.port_status->Codice() != qbfaxvmps_Nothing) return;
  }

  m.mobjTimerEnd->Enabled(false);
  if (has_port) m.mobjFax->SetPortFlag(m.PortName(), false);
  ScriviLog("Fax completato alle: " + m.clock().LocalNow().LogText());
  ScriviLog("************************************************");
  ScriviLog("****         Fine trasmissione fax          ****");
  ScriviLog("************************************************");
  SegnaAnnullabile(false);
  if (!m.sink) RaiseObjectNotSet();
  m.sink->FineInvio();
  m.mobjTimerAnnulla->Enabled(false);
  m.mobjTimerAnnulla->Interval(250);
  if (m.mlngFaxId != 0) {
    if (m.mobjFax->DeleteFaxObject(m.mlngFaxId) < 0) {
      ScriviLog(fmt::format("Error deleting fax object! ID = {} Error code : {}", m.mlngFaxId,
                            m.mobjFax->LastErrorCode()));
    }
    m.mlngFaxId = 0;
  }
  m.log_table->ReDim(-1, -1, 0, 1);
  m.attivita->ImpostaCodice(qbfaxvma_Idle);
}

void QvVavUvaRazUr::mobjTimerAnnulla_TimerEvent() {
  auto& m = *m_;
  const int32_t status = m.port_status->Codice();
  if (status == qbfaxvmps_PortClosed || status == qbfaxvmps_Nothing || !m.mobjInfoFaxModem) {
    m.mobjTimerAnnulla->Enabled(false);
    return;
  }
  if (m.annulla == 0) {
    ImpostaAnnulla(-1);
    ProgressoAnnullamento();
    std::string port = m.PortName();
    m.errore->ImpostaCodice(m.mobjFax->AbortPort(port));
  } else if (m.annulla == -1) {
    if (ContainsIgnoringCase(m.avanzamento->Status(), "Disconnecting")) {
      ScriviLog("Abort disconnecting!!!");
      m.mobjTimerAnnulla->Interval(15000);
      std::string port = m.PortName();
      m.errore->ImpostaCodice(m.mobjFax->AbortPort(port));
    }
  }
}

void QvVavUvaRazUr::ProgressoAnnullamento() {
  auto& m = *m_;
  ScriviLog(fmt::format("Page Number: {}", m.avanzamento->PageNumber()));
  ScriviLog("Page Ready: " + m.avanzamento->PageReady());
  ScriviLog("Baud: " + m.avanzamento->Baud());
  ScriviLog("Trasmission status: " + m.avanzamento->Status());
  ScriviLog(fmt::format("Port status: {} {}", m.port_status->Codice(), m.port_status->Descrizione()));
}

}  // namespace qvfax
