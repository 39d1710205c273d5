// Selecting a modem and opening its port.
#include "server/server_state.h"

namespace qvfax {

void QvVavUvaRazUr::SelezionaFaxModem(const std::string&) {}

void QvVavUvaRazUr::mobjTimerOpenPort_TimerEvent() { m_->mobjTimerOpenPort->Enabled(false); }

}  // namespace qvfax
