#include "queue/send_outcome.h"

#include "server/qv_vav_uva_raz_ur.h"
#include "values/coded_values.h"

namespace qvfax::queue {

void ReadSendOutcome(QvVavUvaRazUr& server, Attempt& attempt) {
  attempt.trm_status = server.TRMStatus()->Codice();
  attempt.status_text = server.TRMStatus()->Descrizione();
  attempt.error = server.Errore()->Codice();
  attempt.error_text = attempt.error != 0 ? server.Errore()->Descrizione() : "";
  attempt.pages_sent = server.PagineTrasmesse();
  attempt.remote_id = server.IdRemoto();
}

Exit ConcludeOutcome(const Attempt& attempt, int32_t pages, bool cancelled) {
  if (cancelled) return Exit::kCancelled;
  const Exit outcome = OutcomeOf(attempt.error, attempt.trm_status);
  // A delivered fax is one whose termination status said so, every page sent.
  if (outcome == Exit::kDelivered && pages > 0 && attempt.pages_sent < pages) return Exit::kLineFailure;
  return outcome;
}

}  // namespace qvfax::queue
