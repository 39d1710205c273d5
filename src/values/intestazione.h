// The page header the fax control prints on every sent page. The %-formats go
// to the control unchanged. A write stores the value and rewrites only its own
// child of "Intestazione"; it does not publish.
#pragma once

#include <cstdint>
#include <string>

#include <pugixml.hpp>

#include "status/status_document.h"

namespace qvfax {

class QvBkgFaxVmIntestazione {
 public:
  bool Attivata() const { return attivata_; }
  void Attivata(bool value);
  int32_t Altezza() const { return altezza_; }
  void Altezza(int32_t value);
  std::string NomeCarattere() const { return nome_carattere_; }
  void NomeCarattere(const std::string& value);
  int32_t DimensioneCarattere() const { return dimensione_carattere_; }
  void DimensioneCarattere(int32_t value);
  std::string Sinistra() const { return sinistra_; }
  void Sinistra(const std::string& value);
  std::string Centrale() const { return centrale_; }
  void Centrale(const std::string& value);
  std::string Destra() const { return destra_; }
  void Destra(const std::string& value);

  pugi::xml_node CreaElementoXml(StatusDocument& document, pugi::xml_node parent);

 private:
  bool attivata_ = false;
  int32_t altezza_ = 25;
  std::string nome_carattere_ = "Courier_New";
  int32_t dimensione_carattere_ = 8;
  std::string sinistra_ = "From: %i To: %f";
  std::string centrale_ = "Page %c of %p";
  std::string destra_ = "%t, %D";
};

}  // namespace qvfax
