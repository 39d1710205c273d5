// The family of one-code value objects. A code's description is computed from
// the string table at each call. Once the status document exists, a change
// rewrites the object's element ("Codice", "Descrizione") and publishes the
// document. Self-standing objects find their element under the root by name;
// contained ones (inside Porta and Trasmissione) are given theirs at build.
#pragma once

#include <cstdint>
#include <string>

#include <pugixml.hpp>

#include "status/status_document.h"

namespace qvfax {

struct CodeRule {
  const char* element;  // element name of a self-standing object; nullptr when contained
  int32_t base;         // description ID = base + code
  bool absolute;        // base + |code| instead
};

class CodedValue {
 public:
  std::string Descrizione() const;
  int32_t Codice() const { return code_; }

  // Self-standing: builds the element as the last child of `parent` (the DOM
  // has no detached nodes) and returns it.
  pugi::xml_node CreaElementoXml(StatusDocument& document, pugi::xml_node parent);
  // Contained: keeps `element`, already attached by the container, and fills it.
  void CreaElementoContenuto(StatusDocument& document, pugi::xml_node element);
  // Rewrites "Codice" and "Descrizione", then publishes the document.
  void AggiornaElementoXml();

 protected:
  CodedValue(CodeRule rule, int32_t default_code) : rule_(rule), code_(default_code) {}
  void Store(int32_t code) { code_ = code; }

 private:
  void Fill(pugi::xml_node element) const;

  CodeRule rule_;
  int32_t code_;
  ValueElement element_{rule_.element};
};

// A state the server reports: it sets the code, the client only reads it.
class StateCodedValue : public CodedValue {
 public:
  void ImpostaCodice(int32_t code);

 protected:
  using CodedValue::CodedValue;
};

// A setting the client may write: each write updates the element.
class SettableCodedValue : public CodedValue {
 public:
  using CodedValue::Codice;
  void Codice(int32_t code);

 protected:
  using CodedValue::CodedValue;
};

// A transmission or port parameter: the container sets its starting code
// before the document exists, so the internal setter only stores.
class ParameterCodedValue : public SettableCodedValue {
 public:
  void ImpostaCodice(int32_t code) { Store(code); }

 protected:
  using SettableCodedValue::SettableCodedValue;
};

}  // namespace qvfax
