// Sending a fax: counting the pages, the send timer's handler and the send
// procedure that creates the fax object, attaches the pages and calls SendNow.
#include <fmt/format.h>

#include "platform/automation_error.h"
#include "platform/vb_types.h"
#include "platform/vb_strings.h"
#include "server/server_state.h"
#include "status/mod_xml.h"
#include "status/status_document.h"

namespace qvfax {

namespace {

constexpr int16_t kImageTypeTiff = 11;
constexpr int16_t kFpSend = 9;

// The files of a FilesTif text: none for an empty text, else every part
// between "+" signs, empty parts included.
std::vector<std::string> FilesOf(const std::string& files) {
  return files.empty() ? std::vector<std::string>{} : Split(files, '+');
}

}  // namespace

void QvVavUvaRazUr::FilesTif(const std::string& files) {
  m_->mlngPagineDaTrasmettere = 0;
  m_->files_tif = files;
  for (auto& part : FilesOf(files)) {
    m_->mlngPagineDaTrasmettere += m_->mobjFax->GetNumberOfPages(part, kImageTypeTiff);
  }
}

void QvVavUvaRazUr::mobjTimerSend_TimerEvent() {
  auto& m = *m_;
  m.mobjTimerSend->Enabled(false);
  m.mobjTimerAnnulla->Enabled(false);
  m.mobjTimerAnnulla->Interval(250);
  m.id_remoto.clear();
  m.errore->ImpostaCodice(qbfaxvmec_NoErrors);
  m.pagine_trasmesse = 0;
  m.annulla = 0;
  SegnaAnnullabile(true);
  if (!m.sink) RaiseObjectNotSet();
  m.sink->InizioInvio();
  if (!m.mobjInfoFaxModem) {
    // No modem selected: there is no port to send on; the end step finishes.
    m.errore->ImpostaCodice(qbfaxvmec_FAX_ERR_NO_PORTS_OPEN);
  } else {
    m.port_status->ImpostaCodice(m.mobjFax->GetPortStatus(m.PortName()));
    if (m.port_status->Codice() != qbfaxvmps_PortClosed) {
      EseguiInvio();
    } else {
      m.errore->ImpostaCodice(qbfaxvmec_FER_PORTCLOSED);
    }
  }
  m.mobjTimerEnd->Enabled(true);
}

void QvVavUvaRazUr::SegnaAnnullabile(bool annullabile) {
  // Both elements change together and the document is published once.
  m_->annulla = 0;
  m_->annullabile = annullabile;
  auto& document = CurrentDocument();
  modXml::ImpostaTesto(document.RootChild("Annulla"), std::to_string(m_->annulla));
  modXml::ImpostaTesto(document.RootChild("Annullabile"), BooleanText(annullabile));
  document.Publish();
}

void QvVavUvaRazUr::EseguiInvio() {
  auto& m = *m_;
  auto& fax = *m.mobjFax;
  auto& tx = *m.trasmissione;
  AzzeraTestoLog();
  ScriviLog("***********************************************");
  ScriviLog("****         Invio Nuovo Fax               ****");
  ScriviLog("***********************************************");
  ScriviLog("Fax iniziato alle: " + m.clock().LocalNow().LogText());
  ScriviLog("Numero fax composto: " + m.mstrNumeroFax);
  auto parameter = [&](const char* label, int32_t code, const std::string& description) {
    ScriviLog(fmt::format("{}{} - {}", label, code, description));
  };
  parameter("Parametro di invio TipoFax = ", tx.TipoFax()->Codice(), tx.TipoFax()->Descrizione());
  parameter("Parametro di invio Risoluzione = ", tx.Risoluzione()->Codice(), tx.Risoluzione()->Descrizione());
  parameter("Parametro di invio Pagina Larghezza = ", tx.Pagina()->CodiceWidth(), tx.Pagina()->DescrizioneWidth());
  parameter("Parametro di invio Pagina Lunghezza = ", tx.Pagina()->CodiceLength(), tx.Pagina()->DescrizioneLength());
  parameter("Parametro di invio Compressione = ", tx.Compressione()->Codice(), tx.Compressione()->Descrizione());
  parameter("Parametro di invio ECM = ", tx.ECM()->Codice(), tx.ECM()->Descrizione());
  parameter("Parametro di invio BFT = ", tx.BFT()->Codice(), tx.BFT()->Descrizione());
  parameter("Parametro di invio Gestione Colore = ", tx.Colore()->CodiceGestione(),
            tx.Colore()->DescrizioneGestione());
  parameter("Parametro di invio Colore Tipo = ", tx.Colore()->CodiceTipo(), tx.Colore()->DescrizioneTipo());

  // "No change" restores the port's configured value after an earlier fax changed it.
  auto apply = [&](int16_t capability, int32_t requested, int32_t port_setting) {
    if (requested != 1) {
      fax.SetPortCapability(m.PortName(), capability, ToInteger(requested));
    } else if (ToInteger(fax.GetPortCapability(m.PortName(), capability)) != port_setting) {
      fax.SetPortCapability(m.PortName(), capability, ToInteger(port_setting));
    }
  };
  apply(capability::kBinary, tx.BFT()->Codice(), m.porta->BFT()->Codice());
  apply(capability::kEcm, tx.ECM()->Codice(), m.porta->ECM()->Codice());

  m.mlngFaxId = fax.CreateFaxObject(
      ToInteger(tx.TipoFax()->Codice()), ToInteger(m.mlngPagineDaTrasmettere),
      ToInteger(tx.Risoluzione()->Codice()), ToInteger(tx.Pagina()->CodiceWidth()),
      ToInteger(tx.Pagina()->CodiceLength()), ToInteger(tx.Compressione()->Codice()),
      ToInteger(tx.BFT()->Codice()), ToInteger(tx.ECM()->Codice()), ToInteger(tx.Colore()->CodiceGestione()),
      ToInteger(tx.Colore()->CodiceTipo()));
  if (m.mlngFaxId == 0) {
    ScriviLog("Can't create fax object! Error code: " + m.ErrorText());
    m.mobjTimerEnd->Enabled(true);
    return;
  }

  m.errore->ImpostaCodice(fax.SetFaxParam(m.mlngFaxId, kFpSend, ToInteger(m.mlngPagineDaTrasmettere)));
  if (m.errore->Codice() != 0) {
    ScriviLog(fmt::format("Errore .SetFaxParam(mlngFaxId, FP_SEND, mlngPagineDaTrasmettere) - {}",
                          m.mlngPagineDaTrasmettere));
  }
  m.errore->ImpostaCodice(fax.SetPhoneNumber(m.mlngFaxId, m.mstrNumeroFax));
  if (m.errore->Codice() != 0) {
    ScriviLog("Errore .SetPhoneNumber(mlngFaxId, mstrNumeroFax) - " + m.mstrNumeroFax);
  }

  if (m.errore->Codice() == 0) {
    int32_t fax_page = 0;
    for (auto& file : FilesOf(m.files_tif)) {
      fax.ImageFileName(file);
      const int32_t pages = fax.GetNumberOfPages(file, kImageTypeTiff);
      for (int32_t page = 1; page <= pages; ++page) {
        ++fax_page;
        m.errore->ImpostaCodice(fax.SetFaxPage(m.mlngFaxId, ToInteger(fax_page), kImageTypeTiff, ToInteger(page)));
        if (m.errore->Codice() != 0) {
          ScriviLog(m.errore->Descrizione());
          break;
        }
      }
      if (m.errore->Codice() != 0) break;
    }
  }

  if (m.errore->Codice() == 0) {
    fax.SetPortFlag(m.PortName(), true);
    m.errore->ImpostaCodice(fax.SendNow(m.PortName(), m.mlngFaxId));
    if (m.errore->Codice() != 0) {
      ScriviLog(fmt::format("Errore .SendNow(mobjInfoFaxModem.Porta, mlngFaxId) - {}", m.mlngFaxId));
    }
    m.show_fax_manager = LeggiVisualizzaFaxManager();
    fax.DisplayFaxManager(m.show_fax_manager);
    if (m.show_fax_manager && m.errore->Codice() == 0) m.fax_manager->SetDialogMode(1);
  } else {
    ScriviLog("Can't send fax! Error code : " + m.ErrorText());
  }
}

}  // namespace qvfax
