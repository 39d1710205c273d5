#include "status/mod_xml.h"

#include "platform/automation_error.h"

namespace qvfax::modXml {

namespace {
constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_ws_pcdata |
                                   pugi::parse_declaration | pugi::parse_comments | pugi::parse_pi;
}  // namespace

void ImpostaTesto(pugi::xml_node element, const std::string& text) {
  while (element.first_child()) element.remove_child(element.first_child());
  if (!text.empty()) element.append_child(pugi::node_pcdata).set_value(text.c_str());
}

void AggiungiElementoConTesto(pugi::xml_node parent, const char* name, const std::string& text) {
  ImpostaTesto(AggiungiElemento(parent, name), text);
}

pugi::xml_node AggiungiElemento(pugi::xml_node parent, const char* name) {
  auto element = parent.append_child(name);
  if (!element) RaiseObjectNotSet();
  return element;
}

void ImpostaTestoElemento(pugi::xml_node node, const char* path, const std::string& text) {
  auto child = node.child(path);
  if (!child) RaiseObjectNotSet();
  ImpostaTesto(child, text);
}

ScratchNode ElementoDaTestoXml(const std::string& text) {
  auto scratch = std::make_shared<pugi::xml_document>();
  // A failed load leaves the scratch document empty, and so with no last node.
  if (!scratch->load_string(text.c_str(), kParseOptions)) scratch->reset();
  auto last = scratch->last_child();
  if (!last) RaiseObjectNotSet();
  StringWriter writer;
  last.print(writer, "", pugi::format_raw);
  auto again = std::make_shared<pugi::xml_document>();
  if (!again->load_string(writer.text.c_str(), kParseOptions)) again->reset();
  if (!again->last_child()) RaiseObjectNotSet();
  return {again, again->last_child()};
}

void SostituisciElemento(pugi::xml_node parent, const ScratchNode& replacement, pugi::xml_node old) {
  if (!old || !replacement.node) RaiseObjectNotSet();
  if (!parent.insert_copy_before(replacement.node, old)) RaiseObjectNotSet();
  parent.remove_child(old);
}

}  // namespace qvfax::modXml
