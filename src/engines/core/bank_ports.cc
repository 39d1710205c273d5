// A bank's ports, their modems and capabilities, and the control's settings.
#include <algorithm>

#include "engines/core/bank_state.h"
#include "values/enums.h"

namespace qvfax::core {

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

Bank::Bank(std::vector<Port> ports, std::shared_ptr<Clock> clock, PageKind pages)
    : state_(std::make_unique<State>()) {
  state_->clock = std::move(clock);
  state_->page_kind = pages;
  for (auto& port : ports) state_->ports.push_back({std::move(port), false, false, {}});
}

Bank::~Bank() { state_->CancelPending(); }

PortState* Bank::State::Find(const std::string& name) {
  for (auto& port : ports) {
    if (port.config.name == name) return &port;
  }
  return nullptr;
}

void Bank::Advise(FaxControlEvents* listener) { state_->listener = listener; }

void Bank::LocalID(const std::string& id) { state_->local_id = id; }
void Bank::StartMode(int16_t) {}
void Bank::DialMode(int32_t mode) { state_->dial_mode = mode; }
void Bank::ImageFileName(const std::string& file) { state_->image_file = file; }
int32_t Bank::LastErrorCode() { return state_->last_error; }
int32_t Bank::HeaderHeight() { return state_->header_height; }
void Bank::HeaderHeight(int32_t rows) { state_->header_height = rows; }
int32_t Bank::HeaderFontSize() { return state_->header_font_size; }
void Bank::HeaderFontSize(int32_t size) { state_->header_font_size = size; }
bool Bank::DisplayFaxManager() { return state_->display_fax_manager; }
void Bank::DisplayFaxManager(bool show) { state_->display_fax_manager = show; }
void Bank::DeviceName(const std::string& device_type) { state_->device_name = device_type; }
std::string Bank::DeviceName() { return state_->device_name; }
void Bank::HeaderEnabled(bool enabled) { state_->header_enabled = enabled; }
std::string Bank::ModemClasses() { return state_->tested_classes; }
std::string Bank::ModemIdentity() { return state_->tested_identity; }
std::string Bank::ModemDescription() { return state_->tested_description; }
int32_t Bank::SpeakerMode() { return state_->speaker_mode; }
void Bank::SpeakerMode(int32_t mode) { state_->speaker_mode = mode; }
int32_t Bank::SpeakerVolume() { return state_->speaker_volume; }
void Bank::SpeakerVolume(int32_t volume) { state_->speaker_volume = volume; }
void Bank::HeaderLeft(const std::string& format) { state_->header_left = format; }
void Bank::HeaderCenter(const std::string& format) { state_->header_center = format; }
void Bank::HeaderRight(const std::string& format) { state_->header_right = format; }
std::string Bank::HeaderFaceName() { return state_->header_face; }
void Bank::HeaderFaceName(const std::string& face) { state_->header_face = face; }
void Bank::SetLogPath(std::string& folder) { state_->log_path = folder; }
void Bank::SetTestMode(int32_t) {}
void Bank::SetPortFlag(const std::string&, bool) {}
void Bank::SetPortMode(const std::string&, int16_t) {}
void Bank::SetPortSpeaker(const std::string&, int16_t mode, int16_t volume) {
  state_->speaker_mode = mode;
  state_->speaker_volume = volume;
}

std::string Bank::PortNames() {
  std::string names;
  for (const auto& port : state_->ports) {
    if (!names.empty()) names += ' ';
    names += port.config.name;
  }
  return names;
}

int32_t Bank::TestModem(const std::string& name) {
  state_->tested_identity.clear();
  state_->tested_description.clear();
  state_->tested_classes.clear();
  auto* port = state_->Find(name);
  if (!port) return state_->Fail(qbfaxvmec_FAX_ERR_COMMPORT_NOT_EXISTS);
  if (!port->config.modem) return state_->Fail(qbfaxvmec_FAX_ERR_TEST_FAILED);
  const auto& modem = *port->config.modem;
  state_->tested_identity = modem.identity;
  state_->tested_description = modem.description;
  state_->tested_classes = modem.classes;
  return modem.test_modem == 0 ? 0 : state_->Fail(modem.test_modem);
}

int32_t Bank::TestDialTone(const std::string& name) {
  auto* port = state_->Find(name);
  if (!port) return qbfaxvmec_FAX_ERR_COMMPORT_NOT_EXISTS;
  if (!port->config.modem) return -1;
  return port->config.modem->dial_tone;
}

int32_t Bank::OpenPort(const std::string& name) {
  auto* port = state_->Find(name);
  if (!port) return state_->Fail(qbfaxvmec_FAX_ERR_COMMPORT_NOT_EXISTS);
  if (port->open) return state_->Fail(qbfaxvmec_FAX_ERR_COMMPORT_ALREADY_INITIALIZED);
  if (!port->config.modem) return state_->Fail(qbfaxvmec_FAX_ERR_CANNOT_CONNECT_PORT);
  if (port->config.modem->open_port != 0) return state_->Fail(port->config.modem->open_port);
  port->open = true;
  port->capabilities = InitialCapabilities(*port->config.modem);
  return 0;
}

int32_t Bank::ClosePort(const std::string& name) {
  auto* port = state_->Find(name);
  if (!port) return state_->Fail(qbfaxvmec_FAX_ERR_COMMPORT_NOT_EXISTS);
  if (!port->open) return state_->Fail(qbfaxvmec_FER_PORTCLOSED);
  if (state_->call && state_->call->port == name) state_->Terminate(qbfaxvmstrms_ABORT);
  port->open = false;
  return 0;
}

void Bank::ClosePorts() {
  for (auto& port : state_->ports) {
    if (port.open) ClosePort(port.config.name);
  }
}

int32_t Bank::GetPortStatus(const std::string& name) {
  auto* port = state_->Find(name);
  if (!port || !port->open) return qbfaxvmps_PortClosed;
  if (state_->call && state_->call->incoming && state_->call->port == name) return qbfaxvmps_Receive;
  return port->working ? qbfaxvmps_Working : qbfaxvmps_Nothing;
}

void Bank::SetPortCapability(const std::string& name, int16_t capability, int16_t value) {
  auto* port = state_->Find(name);
  if (!port || !port->open || !port->config.modem) return;
  auto& slot = port->capabilities[capability];
  slot = EffectiveCapability(*port->config.modem, capability, value, slot);
}

int32_t Bank::GetPortCapability(const std::string& name, int16_t capability) {
  auto* port = state_->Find(name);
  if (!port || !port->open) return 0;
  auto it = port->capabilities.find(capability);
  return it == port->capabilities.end() ? 0 : it->second;
}

void Bank::SetDialogMode(int32_t mode) { state_->dialog_mode = mode; }
const char* Bank::GetBaudText() { return state_->baud_text.c_str(); }
const char* Bank::GetPageReadyText() { return state_->page_ready_text.c_str(); }
const char* Bank::GetStatusText() { return state_->status_text.c_str(); }
int16_t Bank::GetPageNumberInt() { return state_->page_number; }

}  // namespace qvfax::core
