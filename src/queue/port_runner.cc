#include "queue/port_runner.h"

#include <fmt/format.h>

#include "components/events_sink.h"
#include "engines/pages/tiff_pages.h"
#include "queue/send_outcome.h"
#include "platform/apartment.h"
#include "platform/automation_error.h"
#include "server/qv_vav_uva_raz_ur.h"
#include "values/avanzamento.h"
#include "values/coded_values.h"
#include "values/containers.h"
#include "values/intestazione.h"
#include "values/enums.h"

namespace qvfax::queue {

class PortRunner::Sink : public BkgFaxVmEventi {
 public:
  explicit Sink(PortRunner& runner) : runner_(runner) {}
  void AttivitaCambiata(QvBkgFaxVmAttivita& attivita) override { runner_.OnActivity(attivita.Codice()); }
  void InizioInvio() override {}
  void FineInvio() override { runner_.OnSendEnded(); }

 private:
  PortRunner& runner_;
};

namespace {

// For an object whose work ends with nobody to tell.
class SilentSink : public BkgFaxVmEventi {
 public:
  void AttivitaCambiata(QvBkgFaxVmAttivita&) override {}
  void InizioInvio() override {}
  void FineInvio() override {}
};

}  // namespace

PortRunner::PortRunner(std::string port, std::function<int64_t()> now_ms, Done done)
    : port_(std::move(port)), now_ms_(std::move(now_ms)), done_(std::move(done)),
      sink_(std::make_shared<Sink>(*this)) {}

PortRunner::~PortRunner() {
  if (server_) {
    // Shutting down mid-attempt: the object ends its work with nobody listening.
    server_->BkgFaxVmEventi(std::make_shared<SilentSink>());
    server_.reset();
  }
}

void PortRunner::Start(int64_t job, int32_t number, const JobRequest& request) {
  request_ = request;
  attempt_ = Attempt{};
  attempt_.job = job;
  attempt_.number = number;
  attempt_.port = port_;
  attempt_.started_ms = now_ms_();
  cancelled_ = opened_ = send_ended_ = false;
  RequireApartment().log_label = fmt::format("job {}", job);
  // The prepared pages are checked before a port is taken: a file changed or
  // damaged since the job was queued fails as a bad document, never retried.
  int32_t pages = 0;
  for (const auto& file : request_.files) {
    const int count = pages::CountPages(file);
    if (count <= 0) {
      return Fail(qbfaxvmec_FAX_ERR_UNRECOGNIZED_FILEFORMAT, file + ": the prepared pages are damaged or gone");
    }
    pages += count;
  }
  if (request_.pages > 0 && pages != request_.pages) {
    return Fail(qbfaxvmec_FAX_ERR_UNRECOGNIZED_FILEFORMAT,
                fmt::format("the prepared pages changed: {} where {} were queued", pages, request_.pages));
  }
  try {
    server_ = std::make_shared<QvVavUvaRazUr>();
    server_->BkgFaxVmEventi(sink_);
    server_->Inizializza();
    server_->PortaPredefinita(port_);
    Await(Step::kDetecting, &QvVavUvaRazUr::RilevaModem);
  } catch (const AutomationError& e) {
    Fail(qbfaxvmec_FAX_ERR_CANNOT_CONNECT_PORT, e.what());
  }
}

void PortRunner::Cancel() {
  if (step_ == Step::kIdle || cancelled_) return;
  cancelled_ = true;
  if (step_ != Step::kSending || !server_) return;
  try {
    server_->AnnullaFax();
  } catch (const AutomationError&) {
    // Too late to cancel: the fax ends as it ends, and counts as cancelled.
  }
}

void PortRunner::Await(Step next, void (QvVavUvaRazUr::*command)()) {
  step_ = next;
  waiting_ = true;
  ((*server_).*command)();
}

void PortRunner::OnActivity(int32_t code) {
  if (code != qbfaxvma_Idle || !waiting_) return;
  if (step_ == Step::kSending && !send_ended_) return;
  waiting_ = false;
  // Not from inside the server object's own call: the next command waits for
  // the event to return, as a client's would.
  RequireApartment().clock->Schedule(std::chrono::milliseconds(0), [this] { Continue(); });
}

void PortRunner::Continue() {
  if (!server_) return;
  try {
    switch (step_) {
      case Step::kDetecting: {
        server_->SelezionaFaxModem(port_);
        if (!server_->InfoFaxModem()) return Fail(qbfaxvmec_FER_NO_MODEM_ON_PORT, "No fax modem on " + port_);
        if (cancelled_) return Finish();
        if (!request_.local_id.empty()) server_->IdLocale(request_.local_id);
        if (!request_.header.empty()) {
          server_->Intestazione()->Attivata(true);
          server_->Intestazione()->Sinistra(request_.header);
        }
        server_->TestDialTone(true);
        return Await(Step::kOpening, &QvVavUvaRazUr::ApriPorta);
      }
      case Step::kOpening: return Opened();
      case Step::kSending: return ReadOutcome();
      case Step::kClosing: return Finish();
      case Step::kIdle: return;
    }
  } catch (const AutomationError& e) {
    Fail(qbfaxvmec_FAX_ERR_CANNOT_CONNECT_PORT, e.what());
  }
}

void PortRunner::Opened() {
  if (server_->PortStatus()->Codice() != qbfaxvmps_Nothing) {
    return Fail(server_->Errore()->Codice(), server_->Errore()->Descrizione());
  }
  opened_ = true;
  if (cancelled_) return Close();
  server_->NumeroFax(request_.number);
  std::string files;
  for (const auto& file : request_.files) files += (files.empty() ? "" : "+") + file;
  server_->FilesTif(files);
  server_->Trasmissione()->Risoluzione()->Codice(request_.resolution);
  server_->Trasmissione()->ECM()->Codice(request_.ecm ? qbfaxvmbecm_Enable : qbfaxvmbecm_Disable);
  send_ended_ = false;
  Await(Step::kSending, &QvVavUvaRazUr::Invia);
}

void PortRunner::ReadOutcome() {
  ReadSendOutcome(*server_, attempt_);
  Close();
}

void PortRunner::Fail(int32_t error, const std::string& text) {
  attempt_.error = error;
  attempt_.error_text = text;
  if (opened_ && server_) {
    try {
      return Close();
    } catch (const AutomationError&) {
      // The port is beyond closing; the object is ended below.
    }
  }
  Finish();
}

void PortRunner::Close() { Await(Step::kClosing, &QvVavUvaRazUr::ChiudiPorta); }

void PortRunner::Finish() {
  if (server_) {
    attempt_.log = server_->TestoLog();
    try {
      server_->Termina();
    } catch (const AutomationError&) {
      // Ending is best effort: the object goes either way.
    }
    server_->BkgFaxVmEventi(std::make_shared<SilentSink>());
    server_.reset();
  }
  attempt_.ended_ms = now_ms_();
  attempt_.outcome = ConcludeOutcome(attempt_, request_.pages, cancelled_);
  step_ = Step::kIdle;
  waiting_ = false;
  const Attempt ended = attempt_;
  done_(ended);
}

}  // namespace qvfax::queue
