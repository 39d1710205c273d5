#include "queue/port_discovery.h"

#include <future>
#include <stdexcept>

#include "components/events_sink.h"
#include "components/modem_info.h"
#include "platform/apartment.h"
#include "platform/automation_error.h"
#include "server/qv_vav_uva_raz_ur.h"
#include "values/coded_values.h"
#include "values/enums.h"

namespace qvfax::queue {

namespace {

class DetectionSink : public BkgFaxVmEventi {
 public:
  std::promise<void> idle;
  bool started = false;
  void AttivitaCambiata(QvBkgFaxVmAttivita& attivita) override {
    if (started && attivita.Codice() == qbfaxvma_Idle) {
      started = false;
      idle.set_value();
    }
  }
  void InizioInvio() override {}
  void FineInvio() override {}
};

}  // namespace

std::vector<std::string> DiscoverPorts(std::shared_ptr<ComponentRegistry> registry, std::chrono::milliseconds limit) {
  Apartment apartment(std::move(registry), "discovery");
  auto sink = std::make_shared<DetectionSink>();
  auto done = sink->idle.get_future();
  auto server = apartment.Call([sink] {
    RequireApartment().log_label = "queue ports";
    auto object = std::make_shared<QvVavUvaRazUr>();
    object->BkgFaxVmEventi(sink);
    object->Inizializza();
    sink->started = true;
    object->RilevaModem();
    return object;
  });
  const bool ended = done.wait_for(limit) == std::future_status::ready;
  auto ports = apartment.Call([server, ended] {
    std::vector<std::string> found;
    if (ended) {
      for (const auto& modem : server->InfoModems()->Items()) found.push_back(modem->Porta());
    }
    try {
      server->Termina();
    } catch (const AutomationError&) {
      // Detection's object goes either way.
    }
    return found;
  });
  apartment.Call([&server] { server.reset(); });
  if (!ended) throw std::runtime_error("modem detection did not end");
  return ports;
}

}  // namespace qvfax::queue
