// Closing the port and clearing the modem selection.
#include "server/server_state.h"

namespace qvfax {

void QvVavUvaRazUr::mobjTimerClosePort_TimerEvent() {
  auto& m = *m_;
  m.mobjTimerClosePort->Enabled(false);
  if (m.mobjFax) {
    if (!m.mobjInfoFaxModem) {
      ScriviLog("No port to close");
      m.mobjFax->ClosePorts();
      m.port_status->ImpostaCodice(qbfaxvmps_PortClosed);
    } else {
      if (m.port_status->Codice() == qbfaxvmps_PortClosed) {
        ScriviLog("Port " + m.PortName() + " already closed");
      } else {
        ScriviLog("Closing port " + m.PortName() + " ...");
        m.errore->ImpostaCodice(m.mobjFax->ClosePort(m.PortName()));
        if (m.errore->Codice() != 0) {
          ScriviLog(m.errore->Descrizione());
        } else {
          ScriviLog(m.PortName() + " was closed");
        }
        // A failed close still leaves the port unusable to us.
        m.port_status->ImpostaCodice(qbfaxvmps_PortClosed);
      }
      ImpostaInfoFaxModem(nullptr);
    }
  }
  m.attivita->ImpostaCodice(qbfaxvma_Idle);
}

}  // namespace qvfax
