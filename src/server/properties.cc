// The published properties that only read or store a field.
#include <unistd.h>

#include "server/server_state.h"

namespace qvfax {

int32_t QvVavUvaRazUr::ProcessId() const { return static_cast<int32_t>(::getpid()); }
std::shared_ptr<QvBkgFaxVmPorta> QvVavUvaRazUr::Porta() const { return m_->porta; }
std::shared_ptr<QvBkgFaxVmTrasmissione> QvVavUvaRazUr::Trasmissione() const { return m_->trasmissione; }
std::shared_ptr<QvBkgFaxVmSpeaker> QvVavUvaRazUr::Speaker() const { return m_->speaker; }
std::shared_ptr<QvBkgFaxVmDispositivo> QvVavUvaRazUr::Dispositivo() const { return m_->dispositivo; }
std::shared_ptr<QvBkgFaxVmToneDial> QvVavUvaRazUr::ToneDial() const { return m_->tone_dial; }
std::shared_ptr<QvBkgFaxVmIntestazione> QvVavUvaRazUr::Intestazione() const { return m_->intestazione; }
std::shared_ptr<XArrayDB> QvVavUvaRazUr::XArrayDBLog() const { return m_->log_table; }
std::shared_ptr<InfoFaxModems> QvVavUvaRazUr::InfoModems() const { return m_->info_modems; }
std::shared_ptr<RInfoFaxModem> QvVavUvaRazUr::InfoFaxModem() const { return m_->mobjInfoFaxModem; }

void QvVavUvaRazUr::BkgFaxVmEventi(std::shared_ptr<qvfax::BkgFaxVmEventi> sink) {
  m_->sink = sink;
  m_->attivita->ImpostaBkgFaxVmEventi(std::move(sink));
}

std::string QvVavUvaRazUr::IdLocale() const { return m_->id_locale; }
void QvVavUvaRazUr::IdLocale(const std::string& id) { m_->id_locale = id; }
std::shared_ptr<QvBkgFaxVmAttivita> QvVavUvaRazUr::Attivita() const { return m_->attivita; }
std::shared_ptr<QvBkgFaxVmPortStatus> QvVavUvaRazUr::PortStatus() const { return m_->port_status; }
std::shared_ptr<QvBkgFaxVmTRMStatus> QvVavUvaRazUr::TRMStatus() const { return m_->trm_status; }
std::shared_ptr<QvBkgFaxVmErrore> QvVavUvaRazUr::Errore() const { return m_->errore; }
std::shared_ptr<QvBkgFaxVmAvanzamento> QvVavUvaRazUr::Avanzamento() const { return m_->avanzamento; }
int32_t QvVavUvaRazUr::PagineDaTrasmettere() const { return m_->mlngPagineDaTrasmettere; }
int32_t QvVavUvaRazUr::PagineTrasmesse() const { return m_->pagine_trasmesse; }
OleDate QvVavUvaRazUr::OraDiInizioConnessione() const { return m_->ora_inizio; }
OleDate QvVavUvaRazUr::OraDiFineConnessione() const { return m_->ora_fine; }
std::string QvVavUvaRazUr::IdRemoto() const { return m_->id_remoto; }
int32_t QvVavUvaRazUr::Annulla() const { return m_->annulla; }
bool QvVavUvaRazUr::Annullabile() const { return m_->annullabile; }
std::string QvVavUvaRazUr::NumeroFax() const { return m_->mstrNumeroFax; }
void QvVavUvaRazUr::NumeroFax(const std::string& number) { m_->mstrNumeroFax = number; }
std::string QvVavUvaRazUr::FilesTif() const { return m_->files_tif; }
int32_t QvVavUvaRazUr::FaxID() const { return m_->mlngFaxId; }
std::string QvVavUvaRazUr::PercorsoLog() const { return m_->percorso_log; }
void QvVavUvaRazUr::PercorsoLog(const std::string& folder) { m_->percorso_log = folder; }
std::string QvVavUvaRazUr::PortaPredefinita() const { return m_->porta_predefinita; }
void QvVavUvaRazUr::PortaPredefinita(const std::string& port) { m_->porta_predefinita = port; }
bool QvVavUvaRazUr::TestDialTone() const { return m_->test_dial_tone; }
void QvVavUvaRazUr::TestDialTone(bool test) { m_->test_dial_tone = test; }

bool QvVavUvaRazUr::LavoroInCorso() const {
  for (const auto* timer : {&m_->mobjTimerSend, &m_->mobjTimerEnd, &m_->mobjTimerAnnulla, &m_->mobjTimerOpenPort,
                            &m_->mobjTimerClosePort, &m_->mobjTimerRilevaModem}) {
    if (*timer && (*timer)->Enabled()) return true;
  }
  return false;
}

std::string QvVavUvaRazUr::State::PortName() const {
  return mobjInfoFaxModem ? mobjInfoFaxModem->Porta() : std::string();
}

std::string QvVavUvaRazUr::State::ErrorText() const {
  return std::to_string(errore->Codice()) + "-" + errore->Descrizione();
}

}  // namespace qvfax
