// Construction, initialisation, termination and destruction of the server.
#include "components/log_file_writer.h"
#include "components/standins.h"
#include "port/process_priority.h"
#include "server/control_host.h"
#include "server/server_state.h"
#include "status/status_document.h"
#include "values/res_dll.h"
#include "values/string_table.h"

namespace qvfax {

namespace {

std::shared_ptr<Timer> MakeTimer(const ComponentRegistry& registry, std::function<void()> handler) {
  auto timer = registry.Create<Timer>(kTimerClass);
  timer->OnTimerEvent(std::move(handler));
  return timer;
}

}  // namespace

QvVavUvaRazUr::QvVavUvaRazUr() : m_(std::make_unique<State>()) {
  auto& apartment = RequireApartment();
  if (!apartment.registry) RaiseObjectNotSet();
  m_->apartment = &apartment;
  const auto& registry = *apartment.registry;

  apartment.runtime.task_visible = false;
  apartment.control_host = std::make_shared<ControlHost>(registry);
  apartment.fax_manager = apartment.control_host->Manager();
  apartment.runtime.request_pending_timeout_ms = 20000;
  apartment.runtime.server_busy_timeout_ms = 40000;
  apartment.runtime.server_busy_raises_error = false;
  SetProcessPriority(kRealtimePriorityClass);
  m_->lifecycle = registry.Create<LifecycleNotifier>(kLifecycleNotifierClass);
  apartment.resources = std::make_shared<QvBkgFaxVmResDll>();
  apartment.log_writer = registry.Create<LogFileWriter>(kLogFileWriterClass);
  apartment.status_publisher = registry.Create<TextPublisher>(kTextPublisherClass);
  ++apartment.live_servers;
  try {
    Construct(apartment);
  } catch (...) {
    // The constructor fails as a whole: nothing it connected may outlive it.
    if (m_->mobjFax) m_->mobjFax->Advise(nullptr);
    ReleaseApartmentObjects(apartment);
    throw;
  }
}

void QvVavUvaRazUr::Construct(ApartmentContext& apartment) {
  const auto& registry = *apartment.registry;
  m_->mobjFax = apartment.control_host->Fax();
  m_->fax_manager = apartment.fax_manager;
  m_->fax_events = std::make_unique<FaxEventsHandler>(*this);
  m_->mobjFax->Advise(m_->fax_events.get());

  m_->attivita = std::make_shared<QvBkgFaxVmAttivita>();
  m_->trm_status = std::make_shared<QvBkgFaxVmTRMStatus>();
  m_->port_status = std::make_shared<QvBkgFaxVmPortStatus>();
  m_->errore = std::make_shared<QvBkgFaxVmErrore>();
  m_->porta = std::make_shared<QvBkgFaxVmPorta>();
  m_->trasmissione = std::make_shared<QvBkgFaxVmTrasmissione>();
  m_->speaker = std::make_shared<QvBkgFaxVmSpeaker>();
  m_->dispositivo = std::make_shared<QvBkgFaxVmDispositivo>();
  m_->tone_dial = std::make_shared<QvBkgFaxVmToneDial>();
  m_->intestazione = std::make_shared<QvBkgFaxVmIntestazione>();
  m_->info_modems = registry.Create<InfoFaxModems>(kInfoFaxModemsClass);
  m_->avanzamento = std::make_shared<QvBkgFaxVmAvanzamento>();
  m_->log_table = std::make_shared<XArrayDB>();

  m_->mobjTimerSend = MakeTimer(registry, [this] { mobjTimerSend_TimerEvent(); });
  m_->mobjTimerEnd = MakeTimer(registry, [this] { mobjTimerEnd_TimerEvent(); });
  m_->mobjTimerAnnulla = MakeTimer(registry, [this] { mobjTimerAnnulla_TimerEvent(); });
  m_->mobjTimerOpenPort = MakeTimer(registry, [this] { mobjTimerOpenPort_TimerEvent(); });
  m_->mobjTimerClosePort = MakeTimer(registry, [this] { mobjTimerClosePort_TimerEvent(); });
  m_->mobjTimerRilevaModem = MakeTimer(registry, [this] { mobjTimerRilevaModem_TimerEvent(); });

  m_->log_publisher = registry.Create<TextPublisher>(kTextPublisherClass);

  m_->mobjTimerSend->Interval(50);
  m_->mobjTimerEnd->Interval(1000);
  m_->mobjTimerAnnulla->Interval(250);
  m_->mobjTimerOpenPort->Interval(250);
  m_->mobjTimerClosePort->Interval(250);
  m_->mobjTimerRilevaModem->Interval(250);

  m_->log_table->ReDim(-1, -1, 0, 1);
  m_->show_fax_manager = LeggiVisualizzaFaxManager();
  m_->log_publisher->Open("QvVavUvaRazUr_Log");

  CostruisciDocumento();
  apartment.status_publisher->Open("QvVavUvaRazUr");
  apartment.document->Publish();
}

void QvVavUvaRazUr::Inizializza() {
  auto& apartment = *m_->apartment;
  apartment.log_writer->ApplicationName(kApplicationTitle);
  apartment.log_writer->Folder(m_->percorso_log);
  apartment.log_writer->Enabled(true);
  apartment.log_writer->Open();
  CostruisciDocumento();
  apartment.document->Publish();
  apartment.log_writer->WriteLine(
      apartment.resources->LoadDllString(string_table::kServerInitialised, 255), 3, 0, 0);
  m_->lifecycle->Initialized();
}

void QvVavUvaRazUr::Termina() {
  auto& apartment = *m_->apartment;
  apartment.log_writer->WriteLine(
      apartment.resources->LoadDllString(string_table::kServerTerminated, 255), 3, 0, 0);
  apartment.log_writer->Close(0);
  m_->lifecycle->Terminating();
}

QvVavUvaRazUr::~QvVavUvaRazUr() {
  auto& apartment = *m_->apartment;
  m_->info_modems->Clear();
  for (auto* timer : {&m_->mobjTimerSend, &m_->mobjTimerEnd, &m_->mobjTimerAnnulla,
                      &m_->mobjTimerOpenPort, &m_->mobjTimerClosePort, &m_->mobjTimerRilevaModem}) {
    (*timer)->Enabled(false);
    (*timer)->OnTimerEvent({});
    timer->reset();
  }
  m_->sink.reset();
  m_->attivita->ImpostaBkgFaxVmEventi(nullptr);
  m_->lifecycle.reset();
  m_->mobjFax->Advise(nullptr);
  m_->mobjFax.reset();
  m_->attivita.reset();
  m_->trm_status.reset();
  m_->port_status.reset();
  m_->errore.reset();
  m_->porta.reset();
  m_->trasmissione.reset();
  m_->speaker.reset();
  m_->dispositivo.reset();
  m_->tone_dial.reset();
  m_->intestazione.reset();
  m_->log_table.reset();
  m_->info_modems.reset();
  m_->avanzamento.reset();
  m_->log_publisher.reset();
  ReleaseApartmentObjects(apartment);
}

// The once-per-thread objects stay while any server object of the thread lives.
void QvVavUvaRazUr::ReleaseApartmentObjects(ApartmentContext& apartment) {
  if (--apartment.live_servers == 0) {
    apartment.log_writer.reset();
    apartment.resources.reset();
    apartment.fax_manager.reset();
    apartment.control_host.reset();
  }
}

}  // namespace qvfax
