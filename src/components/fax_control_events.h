// The fax control's events, delivered on the apartment thread, port first.
#pragma once

#include <cstdint>
#include <string>

namespace qvfax {

class FaxControlEvents {
 public:
  virtual ~FaxControlEvents() = default;

  virtual void CallAnswered(const std::string& port) = 0;
  virtual void Dialing(const std::string& port) = 0;
  virtual void RingDetected(const std::string& port) = 0;
  virtual void SendStarted(const std::string& port) = 0;
  virtual void SendFinished(const std::string& port, int32_t code, const std::string& remote_id) = 0;
  virtual void TransmissionTerminated(const std::string& port, int32_t status, int16_t pages,
                                      int32_t connection_ms, const std::string& did,
                                      const std::string& dtmf) = 0;
  virtual void PageStarted(const std::string& port, int32_t page) = 0;
  virtual void PageEnded(const std::string& port, int32_t page) = 0;
  virtual void Connected(const std::string& port, const std::string& remote_id) = 0;
  virtual void StatusChanged(const std::string& port) = 0;
};

}  // namespace qvfax
