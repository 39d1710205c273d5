#include "values/coded_value.h"

#include "status/mod_xml.h"
#include "values/res_dll.h"

namespace qvfax {

std::string CodedValue::Descrizione() const {
  return DescribeCode(rule_.base, code_, rule_.absolute);
}

void CodedValue::Fill(pugi::xml_node element) const {
  modXml::AggiungiElementoConTesto(element, "Codice", std::to_string(code_));
  modXml::AggiungiElementoConTesto(element, "Descrizione", Descrizione());
}

pugi::xml_node CodedValue::CreaElementoXml(StatusDocument&, pugi::xml_node parent) {
  auto element = modXml::AggiungiElemento(parent, rule_.element);
  Fill(element);
  return element;
}

void CodedValue::CreaElementoContenuto(StatusDocument& document, pugi::xml_node element) {
  element_.Adopt(document, element);
  Fill(element);
}

void CodedValue::AggiornaElementoXml() {
  auto element = element_.Locate();
  modXml::ImpostaTestoElemento(element, "Codice", std::to_string(code_));
  modXml::ImpostaTestoElemento(element, "Descrizione", Descrizione());
  element_.Publish();
}

void StateCodedValue::ImpostaCodice(int32_t code) {
  Store(code);
  AggiornaElementoXml();
}

void SettableCodedValue::Codice(int32_t code) {
  Store(code);
  AggiornaElementoXml();
}

}  // namespace qvfax
