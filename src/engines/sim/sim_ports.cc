// The simulated bank's ports, modems, capabilities and settings.
#include <algorithm>

#include "engines/sim/sim_bank_impl.h"
#include "values/enums.h"

namespace qvfax::sim {

namespace {

enum : int16_t {
  kMinCompression = 1,
  kMaxCompression = 2,
  kEcm = 3,
  kBinary = 4,
  kMinBaud = 9,
  kMaxBaud = 10,
  kMinResolution = 15,
  kMaxResolution = 16,
  kColour = 19,
};

int16_t OnOff(bool supported, int16_t requested) {
  return requested == qbfaxvmbecm_Enable && supported ? qbfaxvmbecm_Enable : qbfaxvmbecm_Disable;
}

int16_t MaxCompression(const Modem& modem) {
  // Two-dimensional MMR needs error correction on the line.
  return modem.ecm ? qbfaxvmc_2DMMR : qbfaxvmc_2DMR;
}

}  // namespace

int16_t EffectiveCapability(const Modem& modem, int16_t capability, int16_t requested, int16_t current) {
  if (requested == 1) return current;  // every capability's "no change"
  switch (capability) {
    case kEcm: return OnOff(modem.ecm, requested);
    case kBinary: return OnOff(modem.bft, requested);
    case kColour: return OnOff(modem.colour, requested);
    case kMinBaud:
    case kMaxBaud:
      return static_cast<int16_t>(std::clamp<int32_t>(requested, qbfaxvmbr_2400, modem.max_baud));
    case kMinResolution:
    case kMaxResolution:
      return std::clamp<int16_t>(requested, qbfaxvmr_98, qbfaxvmr_196);
    case kMinCompression:
    case kMaxCompression:
      return std::clamp<int16_t>(requested, qbfaxvmc_1DMH, MaxCompression(modem));
    default: return requested;
  }
}

std::map<int16_t, int16_t> InitialCapabilities(const Modem& modem) {
  return {{kMinCompression, qbfaxvmc_1DMH},
          {kMaxCompression, MaxCompression(modem)},
          {kEcm, modem.ecm ? int16_t{qbfaxvmbecm_Enable} : int16_t{qbfaxvmbecm_Disable}},
          {kBinary, qbfaxvmbft_Disable},
          {kMinBaud, qbfaxvmbr_2400},
          {kMaxBaud, static_cast<int16_t>(modem.max_baud)},
          {kMinResolution, qbfaxvmr_98},
          {kMaxResolution, qbfaxvmr_196},
          {kColour, qbfaxvmgc_Disable}};
}

SimBank::SimBank(Config config, std::shared_ptr<Clock> clock) : impl_(std::make_unique<Impl>()) {
  impl_->config = std::move(config);
  impl_->clock = std::move(clock);
  for (const auto& port : impl_->config.ports) impl_->ports.push_back({port, false, false, {}});
}

SimBank::~SimBank() { impl_->CancelPending(); }

PortState* SimBank::Impl::Find(const std::string& name) {
  for (auto& port : ports) {
    if (port.config.name == name) return &port;
  }
  return nullptr;
}

void SimBank::Advise(FaxControlEvents* listener) { impl_->listener = listener; }

void SimBank::LocalID(const std::string& id) { impl_->local_id = id; }
void SimBank::StartMode(int16_t) {}
void SimBank::DialMode(int32_t mode) { impl_->dial_mode = mode; }
void SimBank::ImageFileName(const std::string& file) { impl_->image_file = file; }
int32_t SimBank::LastErrorCode() { return impl_->last_error; }
int32_t SimBank::HeaderHeight() { return impl_->header_height; }
void SimBank::HeaderHeight(int32_t rows) { impl_->header_height = rows; }
int32_t SimBank::HeaderFontSize() { return impl_->header_font_size; }
void SimBank::HeaderFontSize(int32_t size) { impl_->header_font_size = size; }
bool SimBank::DisplayFaxManager() { return impl_->display_fax_manager; }
void SimBank::DisplayFaxManager(bool show) { impl_->display_fax_manager = show; }
void SimBank::DeviceName(const std::string& device_type) { impl_->device_name = device_type; }
std::string SimBank::DeviceName() { return impl_->device_name; }
void SimBank::HeaderEnabled(bool enabled) { impl_->header_enabled = enabled; }
std::string SimBank::ModemClasses() { return impl_->tested_classes; }
std::string SimBank::ModemIdentity() { return impl_->tested_identity; }
std::string SimBank::ModemDescription() { return impl_->tested_description; }
int32_t SimBank::SpeakerMode() { return impl_->speaker_mode; }
void SimBank::SpeakerMode(int32_t mode) { impl_->speaker_mode = mode; }
int32_t SimBank::SpeakerVolume() { return impl_->speaker_volume; }
void SimBank::SpeakerVolume(int32_t volume) { impl_->speaker_volume = volume; }
void SimBank::HeaderLeft(const std::string& format) { impl_->header_left = format; }
void SimBank::HeaderCenter(const std::string& format) { impl_->header_center = format; }
void SimBank::HeaderRight(const std::string& format) { impl_->header_right = format; }
std::string SimBank::HeaderFaceName() { return impl_->header_face; }
void SimBank::HeaderFaceName(const std::string& face) { impl_->header_face = face; }
void SimBank::SetLogPath(std::string& folder) { impl_->log_path = folder; }
void SimBank::SetTestMode(int32_t) {}
void SimBank::SetPortFlag(const std::string&, bool) {}
void SimBank::SetPortMode(const std::string&, int16_t) {}
void SimBank::SetPortSpeaker(const std::string&, int16_t mode, int16_t volume) {
  impl_->speaker_mode = mode;
  impl_->speaker_volume = volume;
}

std::string SimBank::PortNames() {
  std::string names;
  for (const auto& port : impl_->ports) {
    if (!names.empty()) names += ' ';
    names += port.config.name;
  }
  return names;
}

int32_t SimBank::TestModem(const std::string& name) {
  impl_->tested_identity.clear();
  impl_->tested_description.clear();
  impl_->tested_classes.clear();
  auto* port = impl_->Find(name);
  if (!port) return impl_->Fail(qbfaxvmec_FAX_ERR_COMMPORT_NOT_EXISTS);
  if (!port->config.modem) return impl_->Fail(qbfaxvmec_FAX_ERR_TEST_FAILED);
  const auto& modem = *port->config.modem;
  impl_->tested_identity = modem.identity;
  impl_->tested_description = modem.description;
  impl_->tested_classes = modem.classes;
  return modem.test_modem == 0 ? 0 : impl_->Fail(modem.test_modem);
}

int32_t SimBank::TestDialTone(const std::string& name) {
  auto* port = impl_->Find(name);
  if (!port) return qbfaxvmec_FAX_ERR_COMMPORT_NOT_EXISTS;
  if (!port->config.modem) return -1;
  return port->config.modem->dial_tone;
}

int32_t SimBank::OpenPort(const std::string& name) {
  auto* port = impl_->Find(name);
  if (!port) return impl_->Fail(qbfaxvmec_FAX_ERR_COMMPORT_NOT_EXISTS);
  if (port->open) return impl_->Fail(qbfaxvmec_FAX_ERR_COMMPORT_ALREADY_INITIALIZED);
  if (!port->config.modem) return impl_->Fail(qbfaxvmec_FAX_ERR_CANNOT_CONNECT_PORT);
  if (port->config.modem->open_port != 0) return impl_->Fail(port->config.modem->open_port);
  port->open = true;
  port->capabilities = InitialCapabilities(*port->config.modem);
  return 0;
}

int32_t SimBank::ClosePort(const std::string& name) {
  auto* port = impl_->Find(name);
  if (!port) return impl_->Fail(qbfaxvmec_FAX_ERR_COMMPORT_NOT_EXISTS);
  if (!port->open) return impl_->Fail(qbfaxvmec_FER_PORTCLOSED);
  if (impl_->call && impl_->call->port == name) impl_->Terminate(qbfaxvmstrms_ABORT);
  port->open = false;
  return 0;
}

void SimBank::ClosePorts() {
  for (auto& port : impl_->ports) {
    if (port.open) ClosePort(port.config.name);
  }
}

int32_t SimBank::GetPortStatus(const std::string& name) {
  auto* port = impl_->Find(name);
  if (!port || !port->open) return qbfaxvmps_PortClosed;
  return port->working ? qbfaxvmps_Working : qbfaxvmps_Nothing;
}

void SimBank::SetPortCapability(const std::string& name, int16_t capability, int16_t value) {
  auto* port = impl_->Find(name);
  if (!port || !port->open || !port->config.modem) return;
  auto& slot = port->capabilities[capability];
  slot = EffectiveCapability(*port->config.modem, capability, value, slot);
}

int32_t SimBank::GetPortCapability(const std::string& name, int16_t capability) {
  auto* port = impl_->Find(name);
  if (!port || !port->open) return 0;
  auto it = port->capabilities.find(capability);
  return it == port->capabilities.end() ? 0 : it->second;
}

void SimBank::SetDialogMode(int32_t mode) { impl_->dialog_mode = mode; }
const char* SimBank::GetBaudText() { return impl_->baud_text.c_str(); }
const char* SimBank::GetPageReadyText() { return impl_->page_ready_text.c_str(); }
const char* SimBank::GetStatusText() { return impl_->status_text.c_str(); }
int16_t SimBank::GetPageNumberInt() { return impl_->page_number; }

}  // namespace qvfax::sim
