#include "values/avanzamento.h"

#include "components/fax_manager.h"
#include "platform/apartment.h"
#include "platform/automation_error.h"
#include "status/mod_xml.h"
#include "values/ansi_text.h"

namespace qvfax {

namespace {
FaxManager& Manager() {
  auto& apartment = RequireApartment();
  if (!apartment.fax_manager) RaiseObjectNotSet();
  return *apartment.fax_manager;
}
}  // namespace

void QvBkgFaxVmAvanzamento::Show(const char* child, const std::string& text) {
  modXml::ImpostaTestoElemento(element_.Locate(), child, text);
  element_.Publish();
}

std::string QvBkgFaxVmAvanzamento::Baud() {
  auto text = StringFromAnsiPointer(Manager().GetBaudText());
  Show("Baud", text);
  return text;
}

int16_t QvBkgFaxVmAvanzamento::PageNumber() {
  const int16_t page = Manager().GetPageNumberInt();
  Show("PageNumber", std::to_string(page));
  return page;
}

std::string QvBkgFaxVmAvanzamento::PageReady() {
  auto text = StringFromAnsiPointer(Manager().GetPageReadyText());
  Show("PageReady", text);
  return text;
}

std::string QvBkgFaxVmAvanzamento::Status() {
  auto text = StringFromAnsiPointer(Manager().GetStatusText());
  Show("Status", text);
  return text;
}

void QvBkgFaxVmAvanzamento::CreaElementoContenuto(StatusDocument& document, pugi::xml_node element) {
  element_.Adopt(document, element);
  modXml::AggiungiElementoConTesto(element, "Baud", "");
  modXml::AggiungiElementoConTesto(element, "PageNumber", "0");
  modXml::AggiungiElementoConTesto(element, "PageReady", "");
  modXml::AggiungiElementoConTesto(element, "Status", "");
}

}  // namespace qvfax
