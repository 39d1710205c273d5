// Detecting the fax modems: the preferred port first, otherwise every port.
#include "components/modem_info.h"
#include "port/fax_classes.h"
#include "platform/vb_strings.h"
#include "server/server_state.h"
#include "status/mod_xml.h"
#include "status/status_document.h"

namespace qvfax {

namespace {

constexpr const char* kUnknownModem = "Sconosciuto";

// The modem the control has just tested on `port`, or nullptr when it
// reports no class the server knows.
std::shared_ptr<RInfoFaxModem> TestedModem(const ComponentRegistry& registry, FaxControl& fax,
                                           const std::string& port, const std::string& classes) {
  auto modem = registry.Create<RInfoFaxModem>(kRInfoFaxModemClass);
  modem->Porta(port);
  modem->IdentificativoModem(fax.ModemIdentity());
  modem->DescrizioneModem(fax.ModemDescription());
  modem->ClassiFax(modem->ClassiFax() | ClassiFaxFromList(classes));
  return modem->ClassiFax() != 0 ? modem : nullptr;
}

}  // namespace

void QvVavUvaRazUr::mobjTimerRilevaModem_TimerEvent() {
  auto& m = *m_;
  const auto& registry = *m.apartment->registry;
  m.mobjTimerRilevaModem->Enabled(false);
  m.info_modems->Clear();

  if (!m.porta_predefinita.empty()) {
    auto& fax = *m.mobjFax;
    fax.ClosePorts();
    m.port_status->ImpostaCodice(qbfaxvmps_PortClosed);
    fax.DeviceName(m.dispositivo->Descrizione());
    fax.TestModem(m.porta_predefinita);
    const std::string classes = fax.ModemClasses();
    if (!classes.empty()) {
      if (auto modem = TestedModem(registry, fax, m.porta_predefinita, classes)) {
        m.info_modems->Add(modem);
      }
    } else {
      // A silent preferred port is still listed, taken to be class 1.
      auto modem = registry.Create<RInfoFaxModem>(kRInfoFaxModemClass);
      modem->Porta(m.porta_predefinita);
      modem->IdentificativoModem(kUnknownModem);
      modem->DescrizioneModem(kUnknownModem);
      modem->ClassiFax(1);
      m.info_modems->Add(modem);
    }
  }

  if (m.info_modems->Count() < 1) {
    m.mobjFax->ClosePorts();
    m.port_status->ImpostaCodice(qbfaxvmps_PortClosed);
    m.mobjFax->DeviceName(m.dispositivo->Descrizione());
    try {
      ScansionaPorte();
      if (m.info_modems->Count() < 1) ScriviLog("No Modem Detected");
    } catch (const std::exception&) {
      // A failing port ends the scan; what was found so far stays listed.
    }
  }

  auto& document = CurrentDocument();
  auto old = document.RootChild("InfoFaxModems");
  modXml::SostituisciElemento(document.Root(), modXml::ElementoDaTestoXml(m.info_modems->XmlText()), old);
  document.Publish();
  m.attivita->ImpostaCodice(qbfaxvma_Idle);
}

void QvVavUvaRazUr::ScansionaPorte() {
  auto& m = *m_;
  auto& fax = *m.mobjFax;
  const auto& registry = *m.apartment->registry;
  for (const auto& port : Split(fax.PortNames(), ' ')) {
    m.Trace("Inizio> TestModem su porta: " + port);
    fax.SetTestMode(5);
    fax.TestModem(port);
    m.Trace("Fine> TestModem su porta: " + port);
    const std::string classes = fax.ModemClasses();
    if (!classes.empty()) {
      if (auto modem = TestedModem(registry, fax, port, classes)) m.info_modems->Add(modem);
    }
  }
}

}  // namespace qvfax
