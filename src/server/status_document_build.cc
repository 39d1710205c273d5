// The server's part of the status document: the build, the cancel flag and
// the selected modem.
#include <unistd.h>

#include "components/log_file_writer.h"
#include "platform/automation_error.h"
#include "platform/vb_types.h"
#include "server/server_state.h"
#include "status/mod_xml.h"
#include "status/status_document.h"

namespace qvfax {

void QvVavUvaRazUr::CostruisciDocumento() {
  auto document = StatusDocument::Create();
  // The new document replaces the old before the root is built, so the value
  // objects that look their element up by name find it in the new one.
  m_->apartment->document = document;
  CreaElementoRadice(*document);
}

void QvVavUvaRazUr::CreaElementoRadice(StatusDocument& document) {
  auto root = modXml::AggiungiElemento(document.dom(), "VavUvaRazUr");
  modXml::ImpostaTesto(root, "VavUvaRazUr");
  auto add = [&](const char* name, const std::string& text) {
    modXml::AggiungiElementoConTesto(root, name, text);
  };
  add("FileLog", m_->apartment->log_writer->FileName());
  add("PagineDaTrasmettere", std::to_string(m_->mlngPagineDaTrasmettere));
  add("PagineTrasmesse", std::to_string(m_->pagine_trasmesse));
  add("OraDiInizioConnessione", m_->ora_inizio.DocumentText());
  add("OraDiFineConnessione", m_->ora_fine.DocumentText());
  add("IdLocale", m_->id_locale);
  add("IdRemoto", m_->id_remoto);
  add("NumeroFax", m_->mstrNumeroFax);
  add("Annulla", std::to_string(m_->annulla));
  add("Annullabile", BooleanText(m_->annullabile));
  add("FilesTif", m_->files_tif);
  add("FaxId", std::to_string(m_->mlngFaxId));
  add("PortaPredefinita", m_->porta_predefinita);
  add("TestDialTone", BooleanText(m_->test_dial_tone));
  add("PercorsoLog", m_->percorso_log);
  add("ProcessId", std::to_string(::getpid()));

  m_->attivita->CreaElementoXml(document, root);
  m_->errore->CreaElementoXml(document, root);
  m_->trm_status->CreaElementoXml(document, root);
  m_->port_status->CreaElementoXml(document, root);
  m_->speaker->CreaElementoXml(document, root);
  m_->dispositivo->CreaElementoXml(document, root);
  m_->tone_dial->CreaElementoXml(document, root);
  m_->intestazione->CreaElementoXml(document, root);
  m_->trasmissione->CreaElementoXml(document, root);
  m_->porta->CreaElementoXml(document, root);
  m_->avanzamento->CreaElementoContenuto(document, modXml::AggiungiElemento(root, "Avanzamento"));
  modXml::AggiungiElemento(root, "InfoFaxModem");
  modXml::AggiungiElemento(root, "InfoFaxModems");
}

std::string QvVavUvaRazUr::Xml() const { return CurrentDocument().Xml(); }

void QvVavUvaRazUr::ImpostaAnnulla(int32_t value) {
  m_->annulla = value;
  auto& document = CurrentDocument();
  modXml::ImpostaTesto(document.RootChild("Annulla"), std::to_string(value));
  document.Publish();
}

void QvVavUvaRazUr::ImpostaInfoFaxModem(std::shared_ptr<RInfoFaxModem> info) {
  if (m_->port_status->Codice() != qbfaxvmps_PortClosed) {
    throw AutomationError(errors::kActionNotSupported, kApplicationTitle,
                          RuntimeErrorText(errors::kActionNotSupported));
  }
  m_->mobjInfoFaxModem = info;
  auto& document = CurrentDocument();
  auto root = document.Root();
  if (!info) {
    root.remove_child(document.RootChild("InfoFaxModem"));
    modXml::AggiungiElemento(document.Root(), "InfoFaxModem");
  } else {
    auto old = document.RootChild("InfoFaxModem");
    modXml::SostituisciElemento(root, modXml::ElementoDaTestoXml(info->XmlText()), old);
  }
  document.Publish();
}

}  // namespace qvfax
