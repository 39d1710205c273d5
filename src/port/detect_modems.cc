// Detecting the fax modems.
#include "server/server_state.h"

namespace qvfax {

void QvVavUvaRazUr::mobjTimerRilevaModem_TimerEvent() { m_->mobjTimerRilevaModem->Enabled(false); }

}  // namespace qvfax
