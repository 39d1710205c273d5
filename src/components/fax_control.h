// The fax control: the engine that talks to the modem ports and sends faxes.
// The server decides the order of the calls; an engine must accept them in
// that order and produce the results and events listed here. Error codes are
// 0 for success or a negative value of enmQvBkgFaxVmErrore. Integers are 16
// bit, Longs 32 bit; arguments passed by reference may be changed by the engine.
#pragma once

#include <cstdint>
#include <string>

namespace qvfax {

class FaxControlEvents;

class FaxControl {
 public:
  virtual ~FaxControl() = default;

  // Events go to `listener` (not owned; nullptr disconnects), on the apartment thread.
  virtual void Advise(FaxControlEvents* listener) = 0;

  // Properties.
  virtual void LocalID(const std::string& id) = 0;
  virtual void StartMode(int16_t mode) = 0;
  virtual void DialMode(int32_t mode) = 0;             // -1 tone, 0 pulse
  virtual void ImageFileName(const std::string& file) = 0;  // used by the next page calls
  virtual int32_t LastErrorCode() = 0;
  virtual int32_t HeaderHeight() = 0;
  virtual void HeaderHeight(int32_t rows) = 0;
  virtual int32_t HeaderFontSize() = 0;
  virtual void HeaderFontSize(int32_t size) = 0;
  virtual bool DisplayFaxManager() = 0;                // what was put, or changed by the user
  virtual void DisplayFaxManager(bool show) = 0;
  virtual void DeviceName(const std::string& device_type) = 0;
  virtual std::string DeviceName() = 0;                // the device type in force
  virtual std::string PortNames() = 0;                 // separated by single spaces
  virtual void HeaderEnabled(bool enabled) = 0;
  virtual std::string ModemClasses() = 0;              // e.g. "1,1.0,2,2.0"; empty when none
  virtual std::string ModemIdentity() = 0;             // valid after TestModem
  virtual std::string ModemDescription() = 0;          // valid after TestModem
  virtual int32_t SpeakerMode() = 0;
  virtual void SpeakerMode(int32_t mode) = 0;
  virtual int32_t SpeakerVolume() = 0;
  virtual void SpeakerVolume(int32_t volume) = 0;
  virtual void HeaderLeft(const std::string& format) = 0;
  virtual void HeaderCenter(const std::string& format) = 0;
  virtual void HeaderRight(const std::string& format) = 0;
  virtual std::string HeaderFaceName() = 0;
  virtual void HeaderFaceName(const std::string& face) = 0;

  // Fax objects.
  virtual int32_t DeleteFaxObject(int32_t& fax_id) = 0;  // negative on failure
  // `fax_page` counts over the whole fax from 1; `image_type` is always 11.
  virtual int32_t SetFaxPage(int32_t& fax_id, int16_t fax_page, int16_t image_type,
                             int16_t file_page) = 0;
  // Returns the new fax id, or 0 on failure.
  virtual int32_t CreateFaxObject(int16_t fax_type, int16_t pages, int16_t resolution,
                                  int16_t width, int16_t length, int16_t compression,
                                  int16_t bft, int16_t ecm, int16_t colour_handling,
                                  int16_t colour_type) = 0;
  virtual int32_t SetFaxParam(int32_t& fax_id, int16_t param, int16_t value) = 0;  // 9 FP_SEND
  virtual int32_t GetFaxParameter(int32_t& fax_id, int16_t param) = 0;  // 2 ECM, 3 BFT
  virtual int32_t SetPhoneNumber(int32_t& fax_id, std::string& number) = 0;
  virtual int32_t GetNumberOfPages(std::string& file, int16_t image_type) = 0;

  // Ports, named as in PortNames().
  virtual void SetPortCapability(const std::string& port, int16_t capability, int16_t value) = 0;
  virtual int32_t GetPortCapability(const std::string& port, int16_t capability) = 0;
  virtual void SetPortFlag(const std::string& port, bool flag) = 0;
  virtual void SetLogPath(std::string& folder) = 0;
  virtual int32_t TestModem(const std::string& port) = 0;  // 0 when a modem answered
  virtual void SetPortSpeaker(const std::string& port, int16_t mode, int16_t volume) = 0;
  virtual int32_t GetPortStatus(const std::string& port) = 0;  // enmQvBkgFaxVmPortStatus
  virtual void ClosePorts() = 0;
  virtual int32_t OpenPort(const std::string& port) = 0;
  virtual int32_t ClosePort(const std::string& port) = 0;
  virtual void SetPortMode(const std::string& port, int16_t mode) = 0;
  virtual int32_t AbortPort(std::string& port) = 0;
  // Starts the call; its progress arrives later as events.
  virtual int32_t SendNow(const std::string& port, int32_t& fax_id) = 0;
  virtual std::string TermStatusText(int32_t& status) = 0;
  virtual void SetTestMode(int32_t mode) = 0;             // 2 open port, 5 detection
  virtual int32_t TestDialTone(const std::string& port) = 0;  // 1 tone, 0 none, -1 no modem
};

// The port capabilities the server sets by number.
namespace capability {
inline constexpr int16_t kEcm = 3;
inline constexpr int16_t kBinary = 4;
}  // namespace capability

}  // namespace qvfax
