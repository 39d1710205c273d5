#include "values/intestazione.h"

#include "platform/vb_types.h"
#include "status/mod_xml.h"

namespace qvfax {

namespace {
void Rewrite(const char* child, const std::string& text) {
  modXml::ImpostaTestoElemento(CurrentDocument().RootChild("Intestazione"), child, text);
}
}  // namespace

void QvBkgFaxVmIntestazione::Attivata(bool value) {
  attivata_ = value;
  Rewrite("Attivata", BooleanText(value));
}

void QvBkgFaxVmIntestazione::Altezza(int32_t value) {
  altezza_ = value;
  Rewrite("Altezza", std::to_string(value));
}

void QvBkgFaxVmIntestazione::NomeCarattere(const std::string& value) {
  nome_carattere_ = value;
  Rewrite("NomeCarattere", value);
}

void QvBkgFaxVmIntestazione::DimensioneCarattere(int32_t value) {
  dimensione_carattere_ = value;
  Rewrite("DimensioneCarattere", std::to_string(value));
}

void QvBkgFaxVmIntestazione::Sinistra(const std::string& value) {
  sinistra_ = value;
  Rewrite("Sinistra", value);
}

void QvBkgFaxVmIntestazione::Centrale(const std::string& value) {
  centrale_ = value;
  Rewrite("Centrale", value);
}

void QvBkgFaxVmIntestazione::Destra(const std::string& value) {
  destra_ = value;
  Rewrite("Destra", value);
}

pugi::xml_node QvBkgFaxVmIntestazione::CreaElementoXml(StatusDocument&, pugi::xml_node parent) {
  auto element = modXml::AggiungiElemento(parent, "Intestazione");
  modXml::AggiungiElementoConTesto(element, "Attivata", BooleanText(attivata_));
  modXml::AggiungiElementoConTesto(element, "Altezza", std::to_string(altezza_));
  modXml::AggiungiElementoConTesto(element, "NomeCarattere", nome_carattere_);
  modXml::AggiungiElementoConTesto(element, "DimensioneCarattere", std::to_string(dimensione_carattere_));
  modXml::AggiungiElementoConTesto(element, "Sinistra", sinistra_);
  modXml::AggiungiElementoConTesto(element, "Centrale", centrale_);
  modXml::AggiungiElementoConTesto(element, "Destra", destra_);
  return element;
}

}  // namespace qvfax
