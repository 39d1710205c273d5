// The engine-neutral part of a fax engine: the control's settings, its ports
// and their capabilities, the fax objects and their pages, the bookkeeping of
// the one call under way and the fax manager's texts. An engine derives from
// it, runs calls its own way (SendNow, BreakOffCall) and may take over the
// port operations where it talks to real hardware.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "components/fax_control.h"
#include "components/fax_manager.h"
#include "engines/core/port_model.h"
#include "engines/core/reception.h"
#include "platform/clock.h"

namespace qvfax::core {

// What kind of pages an engine's calls carry.
enum class PageKind {
  kAnyTiff,     // any page libtiff can open; nothing is really sent
  kT30Bitmap,   // black-and-white fax pages a T.30 call sends: read whole when attached
};

class Bank : public FaxControl, public FaxManager {
 public:
  Bank(std::vector<Port> ports, std::shared_ptr<Clock> clock, PageKind pages);
  ~Bank() override;
  Bank(const Bank&) = delete;
  Bank& operator=(const Bank&) = delete;

  void Advise(FaxControlEvents* listener) override;

  void LocalID(const std::string& id) override;
  void StartMode(int16_t mode) override;
  void DialMode(int32_t mode) override;
  void ImageFileName(const std::string& file) override;
  int32_t LastErrorCode() override;
  int32_t HeaderHeight() override;
  void HeaderHeight(int32_t rows) override;
  int32_t HeaderFontSize() override;
  void HeaderFontSize(int32_t size) override;
  bool DisplayFaxManager() override;
  void DisplayFaxManager(bool show) override;
  void DeviceName(const std::string& device_type) override;
  std::string DeviceName() override;
  std::string PortNames() override;
  void HeaderEnabled(bool enabled) override;
  std::string ModemClasses() override;
  std::string ModemIdentity() override;
  std::string ModemDescription() override;
  int32_t SpeakerMode() override;
  void SpeakerMode(int32_t mode) override;
  int32_t SpeakerVolume() override;
  void SpeakerVolume(int32_t volume) override;
  void HeaderLeft(const std::string& format) override;
  void HeaderCenter(const std::string& format) override;
  void HeaderRight(const std::string& format) override;
  std::string HeaderFaceName() override;
  void HeaderFaceName(const std::string& face) override;

  int32_t DeleteFaxObject(int32_t& fax_id) override;
  int32_t SetFaxPage(int32_t& fax_id, int16_t fax_page, int16_t image_type, int16_t file_page) override;
  int32_t CreateFaxObject(int16_t fax_type, int16_t pages, int16_t resolution, int16_t width,
                          int16_t length, int16_t compression, int16_t bft, int16_t ecm,
                          int16_t colour_handling, int16_t colour_type) override;
  int32_t SetFaxParam(int32_t& fax_id, int16_t param, int16_t value) override;
  int32_t GetFaxParameter(int32_t& fax_id, int16_t param) override;
  int32_t SetPhoneNumber(int32_t& fax_id, std::string& number) override;
  int32_t GetNumberOfPages(std::string& file, int16_t image_type) override;

  void SetPortCapability(const std::string& port, int16_t capability, int16_t value) override;
  int32_t GetPortCapability(const std::string& port, int16_t capability) override;
  void SetPortFlag(const std::string& port, bool flag) override;
  void SetLogPath(std::string& folder) override;
  int32_t TestModem(const std::string& port) override;
  void SetPortSpeaker(const std::string& port, int16_t mode, int16_t volume) override;
  int32_t GetPortStatus(const std::string& port) override;
  void ClosePorts() override;
  int32_t OpenPort(const std::string& port) override;
  int32_t ClosePort(const std::string& port) override;
  void SetPortMode(const std::string& port, int16_t mode) override;
  // Hangs up the call under way on `port` through BreakOffCall.
  int32_t AbortPort(std::string& port) override;
  std::string TermStatusText(int32_t& status) override;
  void SetTestMode(int32_t mode) override;
  int32_t TestDialTone(const std::string& port) override;

  void SetDialogMode(int32_t mode) override;
  const char* GetBaudText() override;
  const char* GetPageReadyText() override;
  const char* GetStatusText() override;
  int16_t GetPageNumberInt() override;

  // Answers a call ringing on `port` and receives into `file`; `done` hears
  // how it ended, on the apartment's thread. 0 when the call was taken up,
  // else the control's error code (a closed or busy port, an engine that
  // cannot answer).
  virtual int32_t AnswerNow(const std::string& port, const IncomingCall& from, const std::string& file,
                            ReceptionDone done);
  // Has the open `port` wait for calls and answer each that rings as often as
  // the port's configuration says, asking `ringing` what to do with it; it
  // waits again after each call and after each send, until the port closes.
  // 0 when it waits, else the control's error code (an engine whose calls
  // never ring: the line and sim engines answer through AnswerNow).
  virtual int32_t AnswerCalls(const std::string& port, CallRinging ringing);
  // The ports the engine's configuration says answer calls, and whether each may also dial out.
  struct AnsweringPort {
    std::string name;
    bool sends = true;
  };
  virtual std::vector<AnsweringPort> AnsweringPorts() const { return {}; }

  // The fax-object and call operations the bank accepted, one line each, in
  // order: what a person reading a trace of the session would want to see.
  const std::vector<std::string>& Journal() const;

  struct State;

 protected:
  State& state() { return *state_; }
  const State& state() const { return *state_; }
  // Breaks off the call under way, which is not yet hanging up; AbortPort has checked the port.
  virtual void BreakOffCall() = 0;
  // Ends a call that came in, its status, pages and the line's figures in
  // `reception`: a file with no page is removed, the resolution is read from
  // the file, and a call that did not end normally says why.
  void EndReception(Reception reception);

 private:
  std::unique_ptr<State> state_;
};

}  // namespace qvfax::core
