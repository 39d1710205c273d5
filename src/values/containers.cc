#include "values/containers.h"

#include "status/mod_xml.h"

namespace qvfax {

namespace {
template <typename T>
void AddContained(StatusDocument& document, pugi::xml_node parent, const char* name, T& object) {
  object.CreaElementoContenuto(document, modXml::AggiungiElemento(parent, name));
}
}  // namespace

QvBkgFaxVmPorta::QvBkgFaxVmPorta()
    : compressione_min_(std::make_shared<QvBkgFaxVmCompressione>()),
      compressione_max_(std::make_shared<QvBkgFaxVmCompressione>()),
      baud_send_min_(std::make_shared<QvBkgFaxVmBaudRate>()),
      baud_send_max_(std::make_shared<QvBkgFaxVmBaudRate>()),
      ecm_(std::make_shared<QvBkgFaxVmECM>()),
      bft_(std::make_shared<QvBkgFaxVmBFT>()),
      pagina_min_(std::make_shared<QvBkgFaxVmPagina>()),
      pagina_max_(std::make_shared<QvBkgFaxVmPagina>()),
      risoluzione_min_(std::make_shared<QvBkgFaxVmRisoluzione>()),
      risoluzione_max_(std::make_shared<QvBkgFaxVmRisoluzione>()),
      colore_(std::make_shared<QvBkgFaxVmColore>()) {
  compressione_min_->ImpostaCodice(qbfaxvmc_1DMH);
  compressione_max_->ImpostaCodice(qbfaxvmc_2DMMR);
  baud_send_min_->ImpostaCodice(qbfaxvmbr_2400);
  baud_send_max_->ImpostaCodice(qbfaxvmbr_14400);
  pagina_min_->ImpostaCodiceWidth(qbfaxvmpw_1728);
  pagina_min_->ImpostaCodiceLength(qbfaxvmpl_A4);
  pagina_max_->ImpostaCodiceWidth(qbfaxvmpw_2432);
  pagina_max_->ImpostaCodiceLength(qbfaxvmpl_Unlimited);
  risoluzione_min_->ImpostaCodice(qbfaxvmr_98);
  risoluzione_max_->ImpostaCodice(qbfaxvmr_196);
  ecm_->ImpostaCodice(qbfaxvmbecm_Enable);
  bft_->ImpostaCodice(qbfaxvmbft_Disable);
  colore_->ImpostaCodiceGestione(qbfaxvmgc_NoChange);
}

pugi::xml_node QvBkgFaxVmPorta::CreaElementoXml(StatusDocument& document, pugi::xml_node parent) {
  auto element = modXml::AggiungiElemento(parent, "Porta");
  AddContained(document, element, "CompressioneMin", *compressione_min_);
  AddContained(document, element, "CompressioneMax", *compressione_max_);
  AddContained(document, element, "BaudSendMin", *baud_send_min_);
  AddContained(document, element, "BaudSendMax", *baud_send_max_);
  AddContained(document, element, "ECM", *ecm_);
  AddContained(document, element, "BFT", *bft_);
  AddContained(document, element, "PaginaMin", *pagina_min_);
  AddContained(document, element, "PaginaMax", *pagina_max_);
  AddContained(document, element, "RisoluzioneMin", *risoluzione_min_);
  AddContained(document, element, "RisoluzioneMax", *risoluzione_max_);
  AddContained(document, element, "Colore", *colore_);
  return element;
}

QvBkgFaxVmTrasmissione::QvBkgFaxVmTrasmissione()
    : tipo_fax_(std::make_shared<QvBkgFaxVmTipoFax>()),
      compressione_(std::make_shared<QvBkgFaxVmCompressione>()),
      baud_send_(std::make_shared<QvBkgFaxVmBaudRate>()),
      ecm_(std::make_shared<QvBkgFaxVmECM>()),
      bft_(std::make_shared<QvBkgFaxVmBFT>()),
      pagina_(std::make_shared<QvBkgFaxVmPagina>()),
      risoluzione_(std::make_shared<QvBkgFaxVmRisoluzione>()),
      colore_(std::make_shared<QvBkgFaxVmColore>()) {
  tipo_fax_->ImpostaCodice(1);
  compressione_->ImpostaCodice(1);
  baud_send_->ImpostaCodice(1);
  ecm_->ImpostaCodice(1);
  bft_->ImpostaCodice(1);
  pagina_->ImpostaCodiceWidth(1);
  pagina_->ImpostaCodiceLength(1);
  risoluzione_->ImpostaCodice(1);
  colore_->ImpostaCodiceGestione(1);
  colore_->ImpostaCodiceTipo(1);
}

pugi::xml_node QvBkgFaxVmTrasmissione::CreaElementoXml(StatusDocument& document,
                                                        pugi::xml_node parent) {
  auto element = modXml::AggiungiElemento(parent, "Trasmissione");
  AddContained(document, element, "TipoFax", *tipo_fax_);
  AddContained(document, element, "Compressione", *compressione_);
  AddContained(document, element, "BaudSend", *baud_send_);
  AddContained(document, element, "ECM", *ecm_);
  AddContained(document, element, "BFT", *bft_);
  AddContained(document, element, "Pagina", *pagina_);
  AddContained(document, element, "Risoluzione", *risoluzione_);
  AddContained(document, element, "Colore", *colore_);
  return element;
}

}  // namespace qvfax
