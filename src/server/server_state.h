// The members of a server object, shared by the files that implement its
// handlers. Not part of the public surface.
#pragma once

#include <memory>
#include <string>

#include "components/events_sink.h"
#include "components/fax_control.h"
#include "components/fax_control_events.h"
#include "components/fax_manager.h"
#include "components/lifecycle_notifier.h"
#include "components/modem_info.h"
#include "components/registry_object.h"
#include "components/text_publisher.h"
#include "components/timer.h"
#include "components/xarraydb.h"
#include "platform/apartment.h"
#include "server/qv_vav_uva_raz_ur.h"
#include "values/avanzamento.h"
#include "values/coded_values.h"
#include "values/containers.h"
#include "values/intestazione.h"
#include "values/two_code_value.h"

namespace qvfax {

// Forwards the fax control's events to the server's handlers.
class FaxEventsHandler : public FaxControlEvents {
 public:
  explicit FaxEventsHandler(QvVavUvaRazUr& server) : server_(server) {}

  void CallAnswered(const std::string& port) override;
  void Dialing(const std::string& port) override;
  void RingDetected(const std::string& port) override;
  void SendStarted(const std::string& port) override;
  void SendFinished(const std::string& port, int32_t code, const std::string& remote_id) override;
  void TransmissionTerminated(const std::string& port, int32_t status, int16_t pages,
                              int32_t connection_ms, const std::string& did,
                              const std::string& dtmf) override;
  void PageStarted(const std::string& port, int32_t page) override;
  void PageEnded(const std::string& port, int32_t page) override;
  void Connected(const std::string& port, const std::string& remote_id) override;
  void StatusChanged(const std::string& port) override;

 private:
  QvVavUvaRazUr& server_;
};

struct QvVavUvaRazUr::State {
  ApartmentContext* apartment = nullptr;

  std::shared_ptr<QvBkgFaxVmAttivita> attivita;
  std::shared_ptr<QvBkgFaxVmTRMStatus> trm_status;
  std::shared_ptr<QvBkgFaxVmPortStatus> port_status;
  std::shared_ptr<QvBkgFaxVmErrore> errore;
  std::shared_ptr<QvBkgFaxVmPorta> porta;
  std::shared_ptr<QvBkgFaxVmTrasmissione> trasmissione;
  std::shared_ptr<QvBkgFaxVmSpeaker> speaker;
  std::shared_ptr<QvBkgFaxVmDispositivo> dispositivo;
  std::shared_ptr<QvBkgFaxVmToneDial> tone_dial;
  std::shared_ptr<QvBkgFaxVmIntestazione> intestazione;
  std::shared_ptr<InfoFaxModems> info_modems;
  std::shared_ptr<QvBkgFaxVmAvanzamento> avanzamento;
  std::shared_ptr<XArrayDB> log_table;
  std::shared_ptr<RInfoFaxModem> mobjInfoFaxModem;

  std::shared_ptr<FaxControl> mobjFax;
  std::shared_ptr<FaxManager> fax_manager;
  std::unique_ptr<FaxEventsHandler> fax_events;

  std::shared_ptr<Timer> mobjTimerSend, mobjTimerEnd, mobjTimerAnnulla, mobjTimerOpenPort,
      mobjTimerClosePort, mobjTimerRilevaModem;

  std::shared_ptr<qvfax::BkgFaxVmEventi> sink;
  std::shared_ptr<TextPublisher> log_publisher;
  std::shared_ptr<LifecycleNotifier> lifecycle;

  std::string id_locale;
  std::string id_remoto;
  std::string mstrNumeroFax;
  std::string files_tif;
  int32_t mlngPagineDaTrasmettere = 0;
  int32_t pagine_trasmesse = 0;
  OleDate ora_inizio;
  OleDate ora_fine;
  int32_t annulla = 0;
  bool annullabile = false;
  int32_t mlngFaxId = 0;
  std::string percorso_log;
  std::string porta_predefinita;
  bool test_dial_tone = false;
  bool show_fax_manager = false;
  // The registry object and key of the display setting, made once: the
  // setting is read every second of every fax.
  std::shared_ptr<RegistryObject> display_registry;
  std::string display_key;
  std::string testo_log;

  Clock& clock() const { return *apartment->clock; }
  // The port name of the selected modem, read again at each use.
  std::string PortName() const;
  // A trace line: to the log file only.
  void Trace(const std::string& text) const;
  // The error object's description of its current code, for log lines.
  std::string ErrorText() const;
};

}  // namespace qvfax
