// The end of a transmission and cancelling one.
#include "server/server_state.h"

namespace qvfax {

void QvVavUvaRazUr::mobjTimerEnd_TimerEvent() { m_->mobjTimerEnd->Enabled(false); }

void QvVavUvaRazUr::mobjTimerAnnulla_TimerEvent() { m_->mobjTimerAnnulla->Enabled(false); }

}  // namespace qvfax
