// Closing the port.
#include "server/server_state.h"

namespace qvfax {

void QvVavUvaRazUr::mobjTimerClosePort_TimerEvent() { m_->mobjTimerClosePort->Enabled(false); }

}  // namespace qvfax
