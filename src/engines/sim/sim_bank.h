// The simulated modem bank: a fax control and fax manager over configured
// ports, modems and remote numbers. Calls play out on the apartment's clock
// with their events in a realistic order and timing, so tests drive them with
// the manual clock and demos with the steady one.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "components/fax_control.h"
#include "components/fax_manager.h"
#include "engines/sim/sim_config.h"
#include "platform/clock.h"
#include "platform/component_registry.h"

namespace qvfax::sim {

class SimBank : public FaxControl, public FaxManager {
 public:
  SimBank(Config config, std::shared_ptr<Clock> clock);
  ~SimBank() override;
  SimBank(const SimBank&) = delete;
  SimBank& operator=(const SimBank&) = delete;

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
  int32_t AbortPort(std::string& port) override;
  int32_t SendNow(const std::string& port, int32_t& fax_id) override;
  std::string TermStatusText(int32_t& status) override;
  void SetTestMode(int32_t mode) override;
  int32_t TestDialTone(const std::string& port) override;

  void SetDialogMode(int32_t mode) override;
  const char* GetBaudText() override;
  const char* GetPageReadyText() override;
  const char* GetStatusText() override;
  int16_t GetPageNumberInt() override;

  // The fax-object and call operations the bank accepted, one line each, in
  // order: what a person reading a trace of the session would want to see.
  const std::vector<std::string>& Journal() const;

  struct Impl;

 protected:
  // For engines that keep the bank's ports and fax objects but run calls of their own.
  Impl& state() { return *impl_; }
  // Breaks off the call under way, which is not yet hanging up; AbortPort has checked the port.
  virtual void BreakOffCall();

 private:
  std::unique_ptr<Impl> impl_;
};

// Registers the bank as the fax control and the fax manager library of every
// apartment created from `registry`: each control host gets a bank of its own,
// and its fax manager is that same bank.
// `on_create`, when given, hears of each bank created.
void RegisterSimEngine(ComponentRegistry& registry, Config config,
                       std::function<void(std::shared_ptr<SimBank>)> on_create = {});

}  // namespace qvfax::sim
