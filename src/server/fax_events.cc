// The fax control's events.
#include "server/server_state.h"

namespace qvfax {

void FaxEventsHandler::CallAnswered(const std::string&) {}
void FaxEventsHandler::Dialing(const std::string&) {}
void FaxEventsHandler::RingDetected(const std::string&) {}
void FaxEventsHandler::SendStarted(const std::string&) {}
void FaxEventsHandler::SendFinished(const std::string&, int32_t, const std::string&) {}
void FaxEventsHandler::TransmissionTerminated(const std::string&, int32_t, int16_t, int32_t,
                                              const std::string&, const std::string&) {}
void FaxEventsHandler::PageStarted(const std::string&, int32_t) {}
void FaxEventsHandler::PageEnded(const std::string&, int32_t) {}
void FaxEventsHandler::Connected(const std::string&, const std::string&) {}
void FaxEventsHandler::StatusChanged(const std::string&) {}

}  // namespace qvfax
