// Progress of the transmission under way. It stores nothing: every read asks
// the fax manager, writes the value into its element of the status document,
// publishes the document and returns the value.
#pragma once

#include <cstdint>
#include <string>

#include <pugixml.hpp>

#include "status/status_document.h"

namespace qvfax {

class QvBkgFaxVmAvanzamento {
 public:
  std::string Baud();
  int16_t PageNumber();
  std::string PageReady();
  std::string Status();

  // Keeps `element`, attached by the server, and adds the four children.
  void CreaElementoContenuto(StatusDocument& document, pugi::xml_node element);

 private:
  void Show(const char* child, const std::string& text);

  ValueElement element_{nullptr};
};

}  // namespace qvfax
