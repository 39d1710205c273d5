#include "engines/modem/modem_bank.h"

#include <spandsp.h>
#include <unistd.h>

#include <filesystem>

#include <fmt/format.h>

#include "components/fax_control_events.h"
#include "engines/bank_registration.h"
#include "engines/core/bank_state.h"
#include "engines/core/document.h"
#include "engines/core/leftovers.h"
#include "engines/core/port_terminal.h"
#include "engines/core/termination_status.h"
#include "engines/modem/class1_call.h"
#include "engines/modem/modem_bank_parts.h"
#include "engines/modem/hang_up.h"
#include "platform/apartment.h"
#include "platform/private_files.h"
#include "values/enums.h"

namespace qvfax::modem {

namespace {

core::Modem AsModem(const ModemFacts& facts) {
  core::Modem modem;
  modem.identity = facts.manufacturer;
  modem.description = facts.model;
  modem.classes = facts.classes;
  modem.dial_tone = 1;
  modem.ecm = true;  // ECM frames are framed here, so any Class 1 modem carries them
  modem.bft = false;
  modem.colour = false;
  modem.max_baud = (facts.modulations & T30_SUPPORT_V17)   ? qbfaxvmbr_14400
                   : (facts.modulations & T30_SUPPORT_V29) ? qbfaxvmbr_9600
                                                           : qbfaxvmbr_4800;
  return modem;
}

std::vector<core::Port> PortsOf(const ModemConfig& config) {
  std::vector<core::Port> ports;
  for (const auto& port : config.ports) ports.push_back({port.name, std::nullopt});
  return ports;
}


std::string SpeakerCommand(int32_t mode, int32_t volume) {
  const int m = mode == qbfaxvmsm_Never ? 0 : mode == qbfaxvmsm_Always ? 2 : 1;
  const int l = volume == qbfaxvmsv_Low ? 1 : volume == qbfaxvmsv_High ? 3 : 2;
  return fmt::format("M{}L{}", m, l);
}

}  // namespace

bool HasClass1(const std::string& classes) { return classes == "1" || classes.rfind("1,", 0) == 0; }

ModemBank::ModemBank(ModemConfig config, std::shared_ptr<Clock> clock)
    : core::Bank(PortsOf(config), std::move(clock), core::PageKind::kT30Bitmap), config_(std::move(config)) {
  core::RemoveLeftoverSends(config_.spool);
}

ModemBank::~ModemBank() {
  if (call_) EndCall(qbfaxvmstrms_ABORT, "the engine was released");
  for (auto& [name, held] : held_) PauseRingWatch(name);
  held_.clear();
}

const ModemPort* ModemBank::Configured(const std::string& name) const {
  for (const auto& port : config_.ports) {
    if (port.name == name) return &port;
  }
  return nullptr;
}

void ModemBank::Note(const std::string& text) { log_.Line(state().clock->LocalNow(), text); }

void ModemBank::SetLogPath(std::string& folder) {
  core::Bank::SetLogPath(folder);
  log_.Folder(folder);
}

namespace {

SerialSettings SettingsFor(const ModemPort& port, const ModemConfig& config) {
  return {port.speed, port.hardware_flow, config.lock_folder};
}

int32_t OpenFailure(SerialPort::OpenResult result) {
  switch (result) {
    case SerialPort::OpenResult::kMissing: return qbfaxvmec_FAX_ERR_COMMPORT_NOT_EXISTS;
    default: return qbfaxvmec_FAX_ERR_CANNOT_CONNECT_PORT;
  }
}

}  // namespace

int32_t ModemBank::TestModem(const std::string& name) {
  auto& m = state();
  m.Explain("Idle");  // what went wrong before is not this port's reason
  m.tested_identity.clear();
  m.tested_description.clear();
  m.tested_classes.clear();
  const ModemPort* configured = Configured(name);
  auto* port = m.Find(name);
  if (!configured || !port) return m.Fail(qbfaxvmec_FAX_ERR_COMMPORT_NOT_EXISTS);
  ModemFacts facts;
  auto held = held_.find(name);
  if (held != held_.end()) {
    if (port->working) {
      facts = held->second->facts;  // a call has the modem: report what it said before
    } else {
      facts = ProbeModem(held->second->serial, config_.command_timeout_ms);
      held->second->facts = facts;
    }
  } else {
    SerialPort serial;
    std::string detail;
    const auto opened = serial.Open(configured->device, SettingsFor(*configured, config_), detail);
    if (opened != SerialPort::OpenResult::kOpened) {
      Note(fmt::format("TestModem {}: {}", name, detail));
      m.Explain(detail);
      return m.Fail(OpenFailure(opened));
    }
    if (const std::string refused = Prepare(serial, *configured); !refused.empty()) {
      Note(fmt::format("TestModem {}: {}", name, refused));
      m.Explain(refused);
      return m.Fail(qbfaxvmec_FAX_ERR_TEST_FAILED);
    }
    facts = ProbeModem(serial, config_.command_timeout_ms);
  }
  if (!facts.answered) {
    Note(fmt::format("TestModem {}: no modem answers on {}", name, configured->device));
    m.Explain(fmt::format("no modem answers on {}", configured->device));
    return m.Fail(qbfaxvmec_FAX_ERR_TEST_FAILED);
  }
  port->config.modem = AsModem(facts);
  m.tested_identity = facts.manufacturer;
  m.tested_description = facts.model;
  m.tested_classes = facts.classes;
  Note(fmt::format("TestModem {}: \"{}\" \"{}\", classes {}", name, facts.manufacturer, facts.model,
                   facts.classes.empty() ? "none" : facts.classes));
  return 0;
}

int32_t ModemBank::TestDialTone(const std::string& name) {
  const ModemPort* configured = Configured(name);
  if (!configured) return qbfaxvmec_FAX_ERR_COMMPORT_NOT_EXISTS;
  auto held = held_.find(name);
  if (held != held_.end()) {
    if (state().Find(name)->working) return 1;
    return CheckDialTone(held->second->serial, held->second->facts, configured->dial_tone, config_.command_timeout_ms);
  }
  SerialPort serial;
  std::string detail;
  const auto opened = serial.Open(configured->device, SettingsFor(*configured, config_), detail);
  if (opened != SerialPort::OpenResult::kOpened) {
    Note(fmt::format("TestDialTone {}: {}", name, detail));
    return OpenFailure(opened);
  }
  const auto facts = ProbeModem(serial, config_.command_timeout_ms);
  const int32_t tone = CheckDialTone(serial, facts, configured->dial_tone, config_.command_timeout_ms);
  Note(fmt::format("TestDialTone {}: {}", name, tone));
  return tone;
}

int32_t ModemBank::OpenPort(const std::string& name) {
  auto& m = state();
  m.Explain("Idle");
  const ModemPort* configured = Configured(name);
  auto* port = m.Find(name);
  if (!configured || !port) return m.Fail(qbfaxvmec_FAX_ERR_COMMPORT_NOT_EXISTS);
  if (port->open) return m.Fail(qbfaxvmec_FAX_ERR_COMMPORT_ALREADY_INITIALIZED);
  auto held = std::make_unique<Held>();
  std::string detail;
  const auto opened = held->serial.Open(configured->device, SettingsFor(*configured, config_), detail);
  if (opened != SerialPort::OpenResult::kOpened) {
    Note(fmt::format("OpenPort {}: {}", name, detail));
    m.Explain(detail);
    return m.Fail(OpenFailure(opened));
  }
  if (const std::string refused = Prepare(held->serial, *configured); !refused.empty()) {
    Note(fmt::format("OpenPort {}: {}", name, refused));
    m.Explain(refused);
    return m.Fail(qbfaxvmec_FAX_ERR_CANNOT_CONNECT_PORT);
  }
  held->facts = ProbeModem(held->serial, config_.command_timeout_ms);
  if (!held->facts.answered) {
    Note(fmt::format("OpenPort {}: no modem answers on {}", name, configured->device));
    m.Explain(fmt::format("no modem answers on {}", configured->device));
    return m.Fail(qbfaxvmec_FER_NO_MODEM_ON_PORT);
  }
  port->config.modem = AsModem(held->facts);
  port->open = true;
  port->capabilities = core::InitialCapabilities(*port->config.modem);
  Note(fmt::format("OpenPort {}: {} locked, modem \"{}\" classes {}", name, configured->device,
                   held->facts.model, held->facts.classes));
  held_[name] = std::move(held);
  return 0;
}

std::string ModemBank::Prepare(SerialPort& serial, const ModemPort& port) {
  std::vector<std::string> commands;
  if (!port.reset.empty()) commands.push_back(port.reset);
  commands.insert(commands.end(), port.init.begin(), port.init.end());
  AtParser parser;
  for (const auto& command : commands) {
    const AtReply reply = RunCommand(serial, parser, command, config_.command_timeout_ms);
    if (reply.timed_out) return fmt::format("the modem on {} did not answer {}", port.device, command);
    if (reply.result != AtResult::kOk) return fmt::format("the modem on {} refused {}", port.device, command);
  }
  return "";
}

int32_t ModemBank::ClosePort(const std::string& name) {
  auto& m = state();
  auto* port = m.Find(name);
  if (!port) return m.Fail(qbfaxvmec_FAX_ERR_COMMPORT_NOT_EXISTS);
  if (!port->open) return m.Fail(qbfaxvmec_FER_PORTCLOSED);
  if (call_ && m.call && m.call->port == name) EndCall(qbfaxvmstrms_ABORT, "the port was closed");
  PauseRingWatch(name);
  port->open = false;
  held_.erase(name);
  Note("ClosePort " + name);
  return 0;
}

int32_t ModemBank::GetPortStatus(const std::string& name) {
  auto* port = state().Find(name);
  if (!port || !port->open) return qbfaxvmps_PortClosed;
  if (port->working) return qbfaxvmps_Working;
  if (held_.find(name) == held_.end()) return qbfaxvmps_PortClosed;
  // A modem that went away leaves the port idle, so work waiting for it ends;
  // a send on it then ends at once.
  DropIfGone(name);
  return qbfaxvmps_Nothing;
}

void ModemBank::DropIfGone(const std::string& name) {
  auto held = held_.find(name);
  if (held == held_.end() || held->second->gone || held->second->serial.Alive()) return;
  const std::string device = held->second->serial.Device();
  held->second->serial.Close();  // its lock goes with it
  held->second->gone = true;
  Note(fmt::format("{}: {} went away; the port is released", name, device));
  state().Explain(fmt::format("the modem on {} went away", device));
}

Class1Setup ModemBank::SetupFor(const ModemPort& configured, const core::PortState& port, const Held& held) const {
  const auto& m = state();
  Class1Setup setup;
  setup.init = configured.init;
  setup.local_id = !m.local_id.empty()            ? m.local_id
                   : !configured.local_id.empty() ? configured.local_id
                                                  : config_.local_id;
  const auto terminal = core::TerminalForPort(port.capabilities, setup.local_id,
                                              held.facts.modulations ? held.facts.modulations : T30_SUPPORT_V27TER);
  setup.modulations = terminal.modems;
  setup.t4_2d = terminal.t4_2d;
  setup.ecm = terminal.ecm;
  setup.t6 = terminal.t6;
  setup.command_timeout_ms = config_.command_timeout_ms;
  return setup;
}

int32_t ModemBank::SendNow(const std::string& name, int32_t& fax_id) {
  auto& m = state();
  core::PortState* port = nullptr;
  core::FaxObject* object = nullptr;
  if (const int32_t error = m.CheckSendable(name, fax_id, port, object)) return m.Fail(error);
  Held& held = *held_.at(name);

  auto call = std::make_unique<Call>();
  m.BeginCall(*port, fax_id, *object);
  call_ = std::move(call);

  // Calls that cannot start end at once, with the reason in the log.
  auto end_now = [this](core::LineResult result, const std::string& why) {
    Note("SendNow: " + why);
    const int32_t status = core::TermStatusFor(result);
    state().Schedule(std::chrono::milliseconds(0), [this, status, why] { EndCall(status, why); });
    return 0;
  };
  if (held.gone) {
    return end_now(core::LineResult::kModemSilent, fmt::format("the modem on {} went away", name));
  }
  if (!HasClass1(held.facts.classes)) {
    return end_now(core::LineResult::kClassUnsupported,
                   fmt::format("the modem on {} offers classes \"{}\"; this engine sends on class 1 only", name,
                               held.facts.classes));
  }
  if (object->attached.empty()) return end_now(core::LineResult::kNoDocument, "the fax has no pages");
  MakePrivateFolder(config_.spool);
  call_->document = (std::filesystem::path(config_.spool) /
                     fmt::format(".sending-{}-{}.tif", ::getpid(), static_cast<void*>(this))).string();
  if (const int32_t error = core::AssembleDocument(m, *object, call_->document)) {
    EndCall(qbfaxvmstrms_B_FILEIO, "the document could not be written");
    return m.Fail(error);
  }

  const ModemPort& configured = *Configured(name);
  Class1Setup setup = SetupFor(configured, *port, held);
  setup.number = object->number;
  setup.dial_prefix = configured.dial_prefix;
  // What the port's configuration says of its line wins over the client's general wishes.
  setup.tone = configured.tone.value_or(m.dial_mode != qbfaxvmtd_Pulse);
  setup.speaker = SpeakerCommand(m.speaker_mode, m.speaker_volume);
  if (!configured.speaker.empty()) setup.speaker = configured.speaker + setup.speaker.substr(2);
  setup.document = call_->document;
  setup.ecm = setup.ecm && object->ecm != qbfaxvmbecm_Disable;
  setup.t6 = setup.t6 && setup.ecm;
  setup.dial_timeout_ms = configured.answer_timeout_ms.value_or(config_.dial_timeout_ms);
  PauseRingWatch(name);
  call_->driver = std::make_unique<Class1Call>(held.serial, setup);
  Note(fmt::format("SendNow {}: {} pages to {}", name, object->attached.size(), object->number));
  call_->last_tick = m.clock->Now();
  call_->driver->Start();
  m.status_text = "Dialing";
  ScheduleTick();
  return 0;
}

void ModemBank::ScheduleTick() {
  auto& s = state();
  auto held = held_.find(s.call->port);
  const int fd = held == held_.end() ? -1 : held->second->serial.Descriptor();
  const auto& driver = *call_->driver;
  // Woken by the modem, or when the call next has something to do on its own.
  if (fd >= 0) call_->watched_fd = fd;
  if (fd < 0) {
    s.Schedule(std::chrono::milliseconds(driver.NextWakeMs()), [this] { Tick(); });
  } else {
    s.ScheduleOrReady(fd, driver.WantsWrite(), std::chrono::milliseconds(driver.NextWakeMs()), [this] { Tick(); });
  }
}

void ModemBank::Tick() {
  auto& s = state();
  if (!call_ || !call_->driver || !s.call) return;
  const auto now = s.clock->Now();
  const int elapsed = static_cast<int>((now - call_->last_tick).count());
  call_->last_tick = now;
  const std::string port = s.call->port;
  auto& driver = *call_->driver;
  for (const auto& event : driver.Poll(elapsed)) {
    switch (event.kind) {
      case Class1Event::kDialing:
        s.status_text = "Dialing";
        s.Emit([&](FaxControlEvents& e) { e.Dialing(port); });
        s.Emit([&](FaxControlEvents& e) { e.StatusChanged(port); });
        break;
      case Class1Event::kConnected:
        s.Trained(driver.RemoteIdent(), driver.BitRate(), driver.Ecm());
        break;
      case Class1Event::kPage:
        s.PagesThrough(event.page, driver.BitRate(), driver.Ecm());
        break;
      case Class1Event::kFinished:
        s.SendFinishedIfDelivered(event.status, driver.RemoteIdent());
        s.call->connection_ms = static_cast<int32_t>(driver.ConnectedMs());
        EndCall(event.status, event.detail);
        return;
    }
  }
  if (driver.Status() == "Disconnecting") s.status_text = "Disconnecting";
  ScheduleTick();
}

void ModemBank::EndCall(int32_t status, const std::string& detail) {
  auto& s = state();
  if (!call_ || call_->ended) return;
  call_->ended = true;
  if (call_->watched_fd >= 0) s.clock->StopWatching(call_->watched_fd);
  if (call_->driver) {
    std::vector<std::string> hang_up;
    if (!call_->driver->Finished()) {
      // Closed or released in the middle of a call: the line must not stay off hook.
      auto held = s.call ? held_.find(s.call->port) : held_.end();
      if (held != held_.end()) HangUpAtOnce(held->second->serial, config_.command_timeout_ms, hang_up);
    }
    std::vector<std::string> trace;
    for (const auto& line : call_->driver->Trace()) trace.push_back("  " + line);
    for (const auto& line : hang_up) trace.push_back("  " + line);
    log_.Lines(state().clock->LocalNow(), trace);
  }
  if (s.call) DropIfGone(s.call->port);
  if (!call_->document.empty()) {
    std::error_code ec;
    std::filesystem::remove(call_->document, ec);
  }
  Note(fmt::format("Call ended: status {} ({})", status, detail));
  const std::string port = s.call ? s.call->port : "";
  if (s.call && s.call->incoming) {
    EndReceivingCall(status, detail);
  } else {
    call_.reset();
    if (s.call) s.Terminate(status, detail);
  }
  if (!port.empty()) WatchRings(port);  // a port that answers calls waits again
}

void ModemBank::BreakOffCall() {
  auto& s = state();
  s.call->hanging_up = true;
  s.status_text = "Disconnecting";
  Note("AbortPort: hanging up");
  if (call_ && call_->driver) {
    call_->driver->Abort();
  } else {
    s.CancelPending();
    s.Schedule(std::chrono::milliseconds(0), [this] { EndCall(qbfaxvmstrms_ABORT, "cancelled"); });
  }
}

void RegisterModemEngine(ComponentRegistry& registry, ModemConfig config,
                         std::function<void(std::shared_ptr<ModemBank>)> on_create) {
  RegisterBank<ModemBank>(
      registry, [config](ApartmentContext& apartment) { return std::make_shared<ModemBank>(config, apartment.clock); },
      std::move(on_create));
}

}  // namespace qvfax::modem
