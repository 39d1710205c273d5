// The five commands: each records its activity and arms its timer.
#include "server/server_state.h"

namespace qvfax {

void QvVavUvaRazUr::Invia() {
  m_->attivita->ImpostaCodice(qbfaxvma_TrasmissioneFax);
  m_->mobjTimerSend->Enabled(true);
}

void QvVavUvaRazUr::ApriPorta() {
  m_->attivita->ImpostaCodice(qbfaxvma_AperturaPorta);
  m_->mobjTimerOpenPort->Enabled(true);
}

void QvVavUvaRazUr::ChiudiPorta() {
  m_->attivita->ImpostaCodice(qbfaxvma_ChiusuraPorta);
  m_->mobjTimerClosePort->Enabled(true);
}

void QvVavUvaRazUr::RilevaModem() { m_->mobjTimerRilevaModem->Enabled(true); }

void QvVavUvaRazUr::AnnullaFax() {
  // Only a busy port has something to cancel.
  if (m_->port_status->Codice() != qbfaxvmps_PortClosed &&
      m_->port_status->Codice() != qbfaxvmps_Nothing) {
    m_->mobjTimerAnnulla->Interval(250);
    m_->mobjTimerAnnulla->Enabled(true);
  }
}

}  // namespace qvfax
