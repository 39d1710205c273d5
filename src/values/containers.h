// The two containers of parameter objects. Each owns its objects: nothing is
// shared between Porta and Trasmissione. Their starting codes differ from the
// classes' own defaults and are set before any document exists.
#pragma once

#include <memory>

#include <pugixml.hpp>

#include "status/status_document.h"
#include "values/coded_values.h"
#include "values/two_code_value.h"

namespace qvfax {

// The capability limits pushed to the port when it is opened.
class QvBkgFaxVmPorta {
 public:
  QvBkgFaxVmPorta();

  std::shared_ptr<QvBkgFaxVmCompressione> CompressioneMin() const { return compressione_min_; }
  std::shared_ptr<QvBkgFaxVmCompressione> CompressioneMax() const { return compressione_max_; }
  std::shared_ptr<QvBkgFaxVmBaudRate> BaudSendMin() const { return baud_send_min_; }
  std::shared_ptr<QvBkgFaxVmBaudRate> BaudSendMax() const { return baud_send_max_; }
  std::shared_ptr<QvBkgFaxVmECM> ECM() const { return ecm_; }
  std::shared_ptr<QvBkgFaxVmBFT> BFT() const { return bft_; }
  std::shared_ptr<QvBkgFaxVmPagina> PaginaMin() const { return pagina_min_; }
  std::shared_ptr<QvBkgFaxVmPagina> PaginaMax() const { return pagina_max_; }
  std::shared_ptr<QvBkgFaxVmRisoluzione> RisoluzioneMin() const { return risoluzione_min_; }
  std::shared_ptr<QvBkgFaxVmRisoluzione> RisoluzioneMax() const { return risoluzione_max_; }
  std::shared_ptr<QvBkgFaxVmColore> Colore() const { return colore_; }

  pugi::xml_node CreaElementoXml(StatusDocument& document, pugi::xml_node parent);

 private:
  std::shared_ptr<QvBkgFaxVmCompressione> compressione_min_, compressione_max_;
  std::shared_ptr<QvBkgFaxVmBaudRate> baud_send_min_, baud_send_max_;
  std::shared_ptr<QvBkgFaxVmECM> ecm_;
  std::shared_ptr<QvBkgFaxVmBFT> bft_;
  std::shared_ptr<QvBkgFaxVmPagina> pagina_min_, pagina_max_;
  std::shared_ptr<QvBkgFaxVmRisoluzione> risoluzione_min_, risoluzione_max_;
  std::shared_ptr<QvBkgFaxVmColore> colore_;
};

// The parameters of the next transmission; every code starts at "no change".
class QvBkgFaxVmTrasmissione {
 public:
  QvBkgFaxVmTrasmissione();

  std::shared_ptr<QvBkgFaxVmTipoFax> TipoFax() const { return tipo_fax_; }
  std::shared_ptr<QvBkgFaxVmCompressione> Compressione() const { return compressione_; }
  std::shared_ptr<QvBkgFaxVmBaudRate> BaudSend() const { return baud_send_; }
  std::shared_ptr<QvBkgFaxVmECM> ECM() const { return ecm_; }
  std::shared_ptr<QvBkgFaxVmBFT> BFT() const { return bft_; }
  std::shared_ptr<QvBkgFaxVmPagina> Pagina() const { return pagina_; }
  std::shared_ptr<QvBkgFaxVmRisoluzione> Risoluzione() const { return risoluzione_; }
  std::shared_ptr<QvBkgFaxVmColore> Colore() const { return colore_; }

  pugi::xml_node CreaElementoXml(StatusDocument& document, pugi::xml_node parent);

 private:
  std::shared_ptr<QvBkgFaxVmTipoFax> tipo_fax_;
  std::shared_ptr<QvBkgFaxVmCompressione> compressione_;
  std::shared_ptr<QvBkgFaxVmBaudRate> baud_send_;
  std::shared_ptr<QvBkgFaxVmECM> ecm_;
  std::shared_ptr<QvBkgFaxVmBFT> bft_;
  std::shared_ptr<QvBkgFaxVmPagina> pagina_;
  std::shared_ptr<QvBkgFaxVmRisoluzione> risoluzione_;
  std::shared_ptr<QvBkgFaxVmColore> colore_;
};

}  // namespace qvfax
