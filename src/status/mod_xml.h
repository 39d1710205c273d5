// Element helpers with the semantics the object model relies on: setting an
// element's text replaces all of its content; a path is a child element name
// and finds the first child of that name.
#pragma once

#include <memory>
#include <string>

#include <pugixml.hpp>

namespace qvfax::modXml {

void AggiungiElementoConTesto(pugi::xml_node parent, const char* name, const std::string& text);
pugi::xml_node AggiungiElemento(pugi::xml_node parent, const char* name);
// Raises 91 when `node` has no child element named `path`.
void ImpostaTestoElemento(pugi::xml_node node, const char* path, const std::string& text);
void ImpostaTesto(pugi::xml_node element, const std::string& text);

// Collects serialised XML into a string.
struct StringWriter : pugi::xml_writer {
  std::string text;
  void write(const void* data, size_t size) override { text.append(static_cast<const char*>(data), size); }
};

// A node of a scratch document, kept alive with it.
struct ScratchNode {
  std::shared_ptr<pugi::xml_document> document;
  pugi::xml_node node;
};

// Parses `text` and returns its last top-level node, so a declaration or
// comment before the element is dropped. Raises 91 when the text does not
// parse, since there is then no node to return.
ScratchNode ElementoDaTestoXml(const std::string& text);

// Puts a copy of `replacement` in the place of `old`, under `parent`.
void SostituisciElemento(pugi::xml_node parent, const ScratchNode& replacement, pugi::xml_node old);

}  // namespace qvfax::modXml
