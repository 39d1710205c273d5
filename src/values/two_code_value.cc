#include "values/two_code_value.h"

#include "status/mod_xml.h"
#include "values/enums.h"
#include "values/res_dll.h"

namespace qvfax {

namespace {
std::string Child(const char* prefix, const char* suffix) { return std::string(prefix) + suffix; }
}  // namespace

std::string TwoCodeValue::DescribeFirst() const { return DescribeCode(rule_.first_base, first_); }
std::string TwoCodeValue::DescribeSecond() const { return DescribeCode(rule_.second_base, second_); }

void TwoCodeValue::Fill(pugi::xml_node element) const {
  modXml::AggiungiElementoConTesto(element, Child("Codice", rule_.first).c_str(), std::to_string(first_));
  modXml::AggiungiElementoConTesto(element, Child("Descrizione", rule_.first).c_str(), DescribeFirst());
  modXml::AggiungiElementoConTesto(element, Child("Codice", rule_.second).c_str(), std::to_string(second_));
  modXml::AggiungiElementoConTesto(element, Child("Descrizione", rule_.second).c_str(), DescribeSecond());
}

pugi::xml_node TwoCodeValue::CreaElementoXml(StatusDocument&, pugi::xml_node parent) {
  auto element = modXml::AggiungiElemento(parent, rule_.element);
  Fill(element);
  return element;
}

void TwoCodeValue::CreaElementoContenuto(StatusDocument& document, pugi::xml_node element) {
  element_.Adopt(document, element);
  Fill(element);
}

void TwoCodeValue::AggiornaElementoXml() {
  auto element = element_.Locate();
  modXml::ImpostaTestoElemento(element, Child("Codice", rule_.first).c_str(), std::to_string(first_));
  modXml::ImpostaTestoElemento(element, Child("Descrizione", rule_.first).c_str(), DescribeFirst());
  modXml::ImpostaTestoElemento(element, Child("Codice", rule_.second).c_str(), std::to_string(second_));
  modXml::ImpostaTestoElemento(element, Child("Descrizione", rule_.second).c_str(), DescribeSecond());
  element_.Publish();
}

void TwoCodeValue::WriteFirst(int32_t code) {
  first_ = code;
  AggiornaElementoXml();
}

void TwoCodeValue::WriteSecond(int32_t code) {
  second_ = code;
  AggiornaElementoXml();
}

QvBkgFaxVmPagina::QvBkgFaxVmPagina()
    : TwoCodeValue({nullptr, "Width", 1200, "Length", 1300}, qbfaxvmpw_NoChange, qbfaxvmpl_NoChange) {}

QvBkgFaxVmColore::QvBkgFaxVmColore()
    : TwoCodeValue({nullptr, "Gestione", 700, "Tipo", 800}, qbfaxvmgc_NoChange, qbfaxvmtc_TrueColor) {}

QvBkgFaxVmSpeaker::QvBkgFaxVmSpeaker()
    : TwoCodeValue({"Speaker", "SpeakerModo", 1100, "SpeakerVolume", 1000}, qbfaxvmsm_Dial, qbfaxvmsv_Low) {}

}  // namespace qvfax
