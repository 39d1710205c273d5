#include "engines/sip/sip_bank.h"

#include <spandsp.h>
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <mutex>

#include <fmt/format.h>

#include "components/fax_control_events.h"
#include "engines/bank_registration.h"
#include "engines/core/bank_state.h"
#include "engines/core/document.h"
#include "engines/core/leftovers.h"
#include "engines/core/port_terminal.h"
#include "engines/sip/media_socket.h"
#include "engines/sip/sip_call.h"
#include "platform/apartment.h"
#include "platform/private_files.h"
#include "values/enums.h"

namespace qvfax::sip {

namespace {

constexpr std::chrono::milliseconds kTick{20};        // one media frame
constexpr std::chrono::milliseconds kRingWait{10000};  // an idle channel looks again this often anyway
constexpr int kRegistrationWaitMs = 10000;
constexpr int kAllModulations = T30_SUPPORT_V27TER | T30_SUPPORT_V29 | T30_SUPPORT_V17;

std::vector<core::Port> PortsOf(const SipConfig& config) {
  std::vector<core::Port> ports;
  for (const auto& port : config.Ports()) {
    core::Modem channel;
    channel.identity = "qvfax SIP";
    channel.description = fmt::format("SIP account {} (G.711, T.38)", config.accounts[port.account].name);
    channel.classes = "1";
    channel.max_baud = qbfaxvmbr_14400;
    ports.push_back({port.name, channel});
  }
  return ports;
}

}  // namespace

struct SipBank::Channel {
  std::shared_ptr<Ringer> ringer;  // while it answers calls
  core::CallRinging ringing;
  Clock::TimerId timer = 0;
};

struct SipBank::Call {
  std::unique_ptr<SipCall> driver;
  std::string document;  // the assembled pages, removed after the call
  std::string received;
  std::chrono::milliseconds last_tick{0};
  bool ended = false;
};

SipBank::SipBank(SipConfig config, std::shared_ptr<SipAgent> agent, std::shared_ptr<Clock> clock)
    : core::Bank(PortsOf(config), std::move(clock), core::PageKind::kT30Bitmap),
      config_(std::move(config)),
      ports_(config_.Ports()),
      agent_(std::move(agent)) {
  core::RemoveLeftoverSends(config_.spool);
}

SipBank::~SipBank() {
  if (call_) EndCall(qbfaxvmstrms_ABORT, "the engine was released");
  for (auto& [name, channel] : open_) {
    if (channel->timer) state().clock->Cancel(channel->timer);
    if (channel->ringer) {
      state().clock->StopWatching(channel->ringer->events.Descriptor());
      agent_->StopListening(channel->ringer);
    }
  }
}

const SipPort* SipBank::Configured(const std::string& name) const {
  for (const auto& port : ports_) {
    if (port.name == name) return &port;
  }
  return nullptr;
}

void SipBank::Note(const std::string& text) { log_.Line(state().clock->LocalNow(), text); }

void SipBank::SetLogPath(std::string& folder) {
  core::Bank::SetLogPath(folder);
  log_.Folder(folder);
}

int32_t SipBank::OpenPort(const std::string& name) {
  auto& m = state();
  auto* port = m.Find(name);
  if (!port || !Configured(name)) return m.Fail(qbfaxvmec_FAX_ERR_COMMPORT_NOT_EXISTS);
  if (port->open) return m.Fail(qbfaxvmec_FAX_ERR_COMMPORT_ALREADY_INITIALIZED);
  if (!agent_->Error().empty()) {
    Note(fmt::format("OpenPort {}: {}", name, agent_->Error()));
    m.Explain(agent_->Error());
    return m.Fail(qbfaxvmec_FAX_ERR_CANNOT_CONNECT_PORT);
  }
  port->open = true;
  port->capabilities = core::InitialCapabilities(*port->config.modem);
  open_[name] = std::make_unique<Channel>();
  m.Explain("Idle");
  Note(fmt::format("OpenPort {}: channel of account {}", name, config_.accounts[Configured(name)->account].name));
  return 0;
}

int32_t SipBank::ClosePort(const std::string& name) {
  auto& m = state();
  auto* port = m.Find(name);
  if (!port) return m.Fail(qbfaxvmec_FAX_ERR_COMMPORT_NOT_EXISTS);
  if (!port->open) return m.Fail(qbfaxvmec_FER_PORTCLOSED);
  if (call_ && m.call && m.call->port == name) EndCall(qbfaxvmstrms_ABORT, "the port was closed");
  if (auto it = open_.find(name); it != open_.end()) {
    if (it->second->timer) m.clock->Cancel(it->second->timer);
    if (it->second->ringer) {
      m.clock->StopWatching(it->second->ringer->events.Descriptor());
      agent_->StopListening(it->second->ringer);
    }
    open_.erase(it);
  }
  port->open = false;
  Note("ClosePort " + name);
  return 0;
}

int32_t SipBank::TestModem(const std::string& name) {
  if (const int32_t error = core::Bank::TestModem(name)) return error;
  if (agent_->Error().empty()) return 0;
  state().Explain(agent_->Error());
  return state().Fail(qbfaxvmec_FAX_ERR_CANNOT_CONNECT_PORT);
}

int32_t SipBank::TestDialTone(const std::string& name) {
  const SipPort* configured = Configured(name);
  if (!configured || !agent_->Error().empty()) return -1;
  // A registered account is a SIP line's dial tone. A registration under
  // way is waited for, as a modem's dial tone is listened for.
  const auto registration = agent_->AwaitRegistration(configured->account, kRegistrationWaitMs);
  if (registration.state == Registration::kRegistered) return 1;
  Note(fmt::format("TestDialTone {}: {}", name,
                   registration.detail.empty() ? "the account is not registered yet" : registration.detail));
  state().Explain(registration.detail);
  return 0;
}

int32_t SipBank::GetPortStatus(const std::string& name) {
  auto& m = state();
  auto* port = m.Find(name);
  if (!port || !port->open) return qbfaxvmps_PortClosed;
  if (port->working) return qbfaxvmps_Working;
  const auto registration = agent_->RegistrationOf(Configured(name)->account);
  // A refused or unreachable registration is told; a send then fails with the network's answer and is retried.
  m.Explain(registration.state == Registration::kRefused || registration.state == Registration::kUnreachable
                ? registration.detail
                : "Idle");
  return qbfaxvmps_Nothing;
}

int32_t SipBank::SendNow(const std::string& name, int32_t& fax_id) {
  auto& m = state();
  core::PortState* port = nullptr;
  core::FaxObject* object = nullptr;
  if (const int32_t error = m.CheckSendable(name, fax_id, port, object)) return m.Fail(error);
  const SipPort& configured = *Configured(name);
  const SipAccount& account = config_.accounts[configured.account];
  auto& channel = *open_.at(name);
  if (channel.ringer) {
    bool free = true;
    // A call that rings on the channel right now has it.
    if (!channel.ringer->free.compare_exchange_strong(free, false)) return m.Fail(qbfaxvmec_FER_FAXNOW);
  }
  auto call = std::make_unique<Call>();
  m.BeginCall(*port, fax_id, *object);
  call_ = std::move(call);
  auto end_now = [this](int32_t status, const std::string& why) {
    Note("SendNow: " + why);
    state().Schedule(std::chrono::milliseconds(0), [this, status, why] { EndCall(status, why); });
    return 0;
  };
  if (!account.sends) return end_now(qbfaxvmstrms_B_BADPARAMETER, fmt::format("account {} only receives", account.name));
  if (object->attached.empty()) return end_now(qbfaxvmstrms_NO_SEND_DOCUMET, "the fax has no pages");
  MakePrivateFolder(config_.spool);
  call_->document = (std::filesystem::path(config_.spool) /
                     fmt::format(".sending-{}-{}.tif", ::getpid(), static_cast<void*>(this))).string();
  if (const int32_t error = core::AssembleDocument(m, *object, call_->document)) {
    EndCall(qbfaxvmstrms_B_FILEIO, "the document could not be written");
    return m.Fail(error);
  }
  SipCallSetup setup = SetupFor(*port, configured.account);
  setup.fax.calling = true;
  setup.fax.document = call_->document;
  setup.fax.terminal.ecm = setup.fax.terminal.ecm && object->ecm != qbfaxvmbecm_Disable;
  setup.fax.terminal.t6 = setup.fax.terminal.t6 && setup.fax.terminal.ecm;
  setup.number = object->number;
  Note(fmt::format("SendNow {}: {} pages to {}", name, object->attached.size(), object->number));
  call_->driver = std::make_unique<SipCall>(agent_, setup);
  call_->last_tick = m.clock->Now();
  m.status_text = "Dialing";
  m.Schedule(std::chrono::milliseconds(0), [this, name] {
    auto& s = state();
    s.Emit([&](FaxControlEvents& e) { e.Dialing(name); });
    s.Emit([&](FaxControlEvents& e) { e.StatusChanged(name); });
    Tick();
  });
  return 0;
}

SipCallSetup SipBank::SetupFor(const core::PortState& port, size_t account_index) const {
  const auto& m = state();
  const SipAccount& account = config_.accounts[account_index];
  SipCallSetup setup;
  setup.fax.terminal =
      core::TerminalForPort(port.capabilities, m.local_id.empty() ? config_.local_id : m.local_id, kAllModulations);
  setup.account = account_index;
  setup.settings = account;
  setup.media_host = config_.listen_host;
  // Our media address: the configured external one behind NAT, else the one the SIP side listens on, else
  // the one packets to the proxy leave from.
  const bool any = config_.listen_host == "0.0.0.0" || config_.listen_host == "::";
  setup.advertised = !config_.external_address.empty() ? config_.external_address
                     : !any ? config_.listen_host
                            : LocalAddressToward(HostOfUri(!account.proxy.empty() ? account.proxy : account.registrar));
  setup.rtp_first = config_.rtp_first;
  setup.rtp_last = config_.rtp_last;
  setup.jitter_ms = config_.jitter_ms;
  setup.t38_copies = config_.t38_copies;
  setup.t38_max_datagram = config_.t38_max_datagram;
  setup.answer_timeout_ms = config_.answer_timeout_s * 1000;
  return setup;
}

void SipBank::ScheduleTick() { state().Schedule(kTick, [this] { Tick(); }); }

void SipBank::Tick() {
  auto& s = state();
  if (!call_ || !call_->driver || !s.call) return;
  const auto now = s.clock->Now();
  const int elapsed = static_cast<int>((now - call_->last_tick).count());
  call_->last_tick = now;
  auto& driver = *call_->driver;
  for (const auto& event : driver.Poll(elapsed)) {
    switch (event.kind) {
      case SipCallEvent::kRinging:
        s.status_text = "Ringing";
        break;
      case SipCallEvent::kConnected:
        s.Trained(driver.RemoteIdent(), driver.BitRate(), driver.Ecm());
        break;
      case SipCallEvent::kPage:
        s.PagesThrough(event.page, driver.BitRate(), driver.Ecm());
        break;
      case SipCallEvent::kFinished:
        s.SendFinishedIfDelivered(event.status, driver.RemoteIdent());
        s.call->connection_ms = static_cast<int32_t>(driver.ConnectedMs());
        EndCall(event.status, event.detail);
        return;
    }
  }
  ScheduleTick();
}

void SipBank::EndCall(int32_t status, const std::string& detail) {
  auto& s = state();
  if (!call_ || call_->ended) return;
  call_->ended = true;
  if (call_->driver) {
    if (!call_->driver->Finished()) call_->driver->Abort();
    std::vector<std::string> trace;
    for (const auto& line : call_->driver->Trace()) trace.push_back("  " + line);
    log_.Lines(s.clock->LocalNow(), trace);
  }
  if (!call_->document.empty()) {
    std::error_code ec;
    std::filesystem::remove(call_->document, ec);
  }
  Note(fmt::format("Call ended: status {} ({})", status, detail));
  const std::string port = s.call ? s.call->port : "";
  if (s.call && s.call->incoming) {
    core::Reception reception;
    reception.file = call_->received;
    reception.status = status;
    if (const auto& driver = call_->driver) {
      reception.remote_id = driver->RemoteIdent();
      reception.bit_rate = driver->BitRate();
      reception.ecm = driver->Ecm();
    }
    reception.pages = s.call->pages_done;
    if (status != qbfaxvmstrms_NORMAL) Note(fmt::format("Reception ended: {}", detail));
    call_.reset();
    EndReception(std::move(reception));
  } else {
    call_.reset();
    if (s.call) s.Terminate(status, detail);
  }
  if (auto it = open_.find(port); it != open_.end() && it->second->ringer) {
    it->second->ringer->free = true;
    WatchRings(port);
  }
}

void SipBank::BreakOffCall() {
  auto& s = state();
  s.call->hanging_up = true;
  s.status_text = "Disconnecting";
  Note("AbortPort: hanging up");
  if (call_ && call_->driver) {
    call_->driver->Abort();  // the next tick ends the call
  } else {
    s.CancelPending();
    s.Schedule(std::chrono::milliseconds(0), [this] { EndCall(qbfaxvmstrms_ABORT, "cancelled"); });
  }
}

std::vector<core::Bank::AnsweringPort> SipBank::AnsweringPorts() const {
  std::vector<AnsweringPort> ports;
  for (const auto& port : config_.Ports()) {
    const auto& account = config_.accounts[port.account];
    if (account.answers) ports.push_back({port.name, account.sends});
  }
  return ports;
}

int32_t SipBank::AnswerCalls(const std::string& name, core::CallRinging ringing) {
  auto& m = state();
  const SipPort* configured = Configured(name);
  auto* port = m.Find(name);
  if (!configured || !port) return m.Fail(qbfaxvmec_FAX_ERR_COMMPORT_NOT_EXISTS);
  auto it = open_.find(name);
  if (!port->open || it == open_.end()) return m.Fail(qbfaxvmec_FER_PORTCLOSED);
  const auto& account = config_.accounts[configured->account];
  if (!account.answers) {
    Note(fmt::format("AnswerCalls {}: account {} only sends", name, account.name));
    return m.Fail(qbfaxvmec_FAX_ERR_CANNOT_CONNECT_PORT);
  }
  // A channel answers once the registrar knows where to send its calls;
  // one it refuses never will, one it cannot reach is registered later.
  const auto registration = agent_->AwaitRegistration(configured->account, kRegistrationWaitMs);
  if (registration.state == Registration::kRefused) {
    Note(fmt::format("AnswerCalls {}: {}", name, registration.detail));
    m.Explain(registration.detail);
    return m.Fail(qbfaxvmec_FAX_ERR_CANNOT_CONNECT_PORT);
  }
  auto& channel = *it->second;
  channel.ringing = std::move(ringing);
  if (!channel.ringer) {
    channel.ringer = std::make_shared<Ringer>();
    channel.ringer->account = configured->account;
    channel.ringer->free = !call_;
    agent_->Listen(channel.ringer);
  }
  Note(fmt::format("AnswerCalls {}: calls to account {}", name, account.name));
  WatchRings(name);
  return 0;
}

void SipBank::WatchRings(const std::string& name) {
  auto it = open_.find(name);
  if (it == open_.end() || !it->second->ringer || it->second->timer != 0) return;
  it->second->timer = state().clock->ScheduleOrReady(it->second->ringer->events.Descriptor(), false, kRingWait,
                                                     [this, name] {
                                                       auto open = open_.find(name);
                                                       if (open == open_.end()) return;
                                                       open->second->timer = 0;
                                                       RingTick(name);
                                                     });
}

void SipBank::RingTick(const std::string& name) {
  auto& m = state();
  auto& channel = *open_.at(name);
  for (const auto& event : channel.ringer->events.Take()) {
    if (event.kind != CallEvent::kIncoming || !event.dialog) continue;
    core::IncomingCall from;
    from.caller_number = event.caller_number;
    from.caller_name = event.caller_name;
    Note(fmt::format("{}: call from {}{} to {}", name, from.caller_number.empty() ? "an unknown number" : from.caller_number,
                     from.caller_name.empty() ? "" : " (" + from.caller_name + ")", event.called_number));
    core::PortState* port = nullptr;
    std::optional<core::AnswerPlan> plan;
    if (!call_ && m.CheckAnswerable(name, port) == 0) plan = channel.ringing(from);
    if (!plan) {
      Note(fmt::format("{}: the call is not answered", name));
      agent_->Refuse(event.dialog, 486, "Busy Here");
      if (!call_) channel.ringer->free = true;
      continue;
    }
    m.BeginAnswer(*port, from, std::move(plan->done));
    call_ = std::make_unique<Call>();
    call_->received = plan->file;
    SipCallSetup setup = SetupFor(*port, channel.ringer->account);
    setup.fax.calling = false;
    setup.fax.received = plan->file;
    m.status_text = "Answered";
    call_->driver = std::make_unique<SipCall>(agent_, setup, event);
    call_->last_tick = m.clock->Now();
    ScheduleTick();
  }
  WatchRings(name);
}

void RegisterSipEngine(ComponentRegistry& registry, SipConfig config,
                       std::function<void(std::shared_ptr<SipBank>)> on_create) {
  struct Shared {
    std::mutex mutex;
    std::shared_ptr<SipAgent> agent;
  };
  auto shared = std::make_shared<Shared>();
  RegisterBank<SipBank>(
      registry,
      [config, shared](ApartmentContext& apartment) {
        std::shared_ptr<SipAgent> agent;
        {
          std::lock_guard lock(shared->mutex);
          if (!shared->agent) {
            auto accounts = config.accounts;
            shared->agent = std::make_shared<SipAgent>(config, [accounts](size_t i, const Registration& now) {
              if (now.state == Registration::kRegistered) {
                std::cerr << "qvfax sip: account " << accounts[i].name << " registered\n";
              } else if (now.state != Registration::kRegistering) {
                std::cerr << "qvfax sip: " << now.detail << "\n";
              }
            });
            if (!shared->agent->Error().empty()) std::cerr << "qvfax sip: " << shared->agent->Error() << "\n";
            shared->agent->Register();
          }
          agent = shared->agent;
        }
        return std::make_shared<SipBank>(config, agent, apartment.clock);
      },
      std::move(on_create));
}

}  // namespace qvfax::sip
