// The modem engine's answering side: a port that answers calls is read for
// RING and caller ID whenever no call has it; after the port's rings the call
// is offered to whoever waits for calls, and, taken, answered with T.30 as
// the called terminal. The port waits again when the call ends.
#include <spandsp.h>

#include <fmt/format.h>

#include "engines/core/bank_state.h"
#include "engines/core/termination_status.h"
#include "engines/modem/modem_bank_parts.h"
#include "values/enums.h"

namespace qvfax::modem {

namespace {

constexpr std::chrono::milliseconds kRingGap{10000};  // rings further apart than this are another call

}  // namespace

std::vector<core::Bank::AnsweringPort> ModemBank::AnsweringPorts() const {
  std::vector<AnsweringPort> ports;
  for (const auto& port : config_.ports) {
    if (port.answers) ports.push_back({port.name, port.sends});
  }
  return ports;
}

int32_t ModemBank::AnswerCalls(const std::string& name, core::CallRinging ringing) {
  auto& m = state();
  const ModemPort* configured = Configured(name);
  auto* port = m.Find(name);
  if (!configured || !port) return m.Fail(qbfaxvmec_FAX_ERR_COMMPORT_NOT_EXISTS);
  auto held = held_.find(name);
  if (!port->open || held == held_.end() || held->second->gone) return m.Fail(qbfaxvmec_FER_PORTCLOSED);
  if (!HasClass1(held->second->facts.classes)) {
    Note(fmt::format("AnswerCalls {}: the modem offers classes \"{}\"; calls are answered on class 1 only", name,
                     held->second->facts.classes));
    return m.Fail(qbfaxvmec_FAX_ERR_CANNOT_CONNECT_PORT);
  }
  // A modem another program left answering by itself would take the call
  // before us; caller ID is asked for, and calls are answered without it
  // when the modem refuses.
  for (const std::string& command : {std::string("ATS0=0"), configured->caller_id}) {
    if (command.empty()) continue;
    AtParser parser;
    const AtReply reply = RunCommand(held->second->serial, parser, command, config_.command_timeout_ms);
    if (reply.result != AtResult::kOk) Note(fmt::format("AnswerCalls {}: the modem refused {}", name, command));
  }
  auto watch = std::make_unique<RingWatch>();
  watch->ringing = std::move(ringing);
  held->second->watch = std::move(watch);
  Note(fmt::format("AnswerCalls {}: answering after {} ring{}", name, configured->rings,
                   configured->rings == 1 ? "" : "s"));
  WatchRings(name);
  return 0;
}

void ModemBank::WatchRings(const std::string& name) {
  auto held = held_.find(name);
  if (held == held_.end() || !held->second->watch || held->second->gone) return;
  if (call_ && state().call && state().call->port == name) return;  // the call reads the port
  auto& watch = *held->second->watch;
  if (watch.timer != 0) return;
  const int fd = held->second->serial.Descriptor();
  if (fd < 0) return;
  // Woken by what the modem says; the timeout only notices that rings stopped.
  watch.timer = state().clock->ScheduleOrReady(fd, false, kRingGap, [this, name] {
    auto it = held_.find(name);
    if (it == held_.end() || !it->second->watch) return;
    it->second->watch->timer = 0;
    RingTick(name);
  });
}

void ModemBank::PauseRingWatch(const std::string& name) {
  auto held = held_.find(name);
  if (held == held_.end() || !held->second->watch || held->second->watch->timer == 0) return;
  state().clock->Cancel(held->second->watch->timer);
  held->second->watch->timer = 0;
  state().clock->StopWatching(held->second->serial.Descriptor());
}

void ModemBank::RingTick(const std::string& name) {
  auto& held = *held_.at(name);
  auto& watch = *held.watch;
  const auto now = state().clock->Now();
  if (watch.rings > 0 && now - watch.last_ring > kRingGap) {
    // The caller gave up before we answered.
    Note(fmt::format("{}: the caller hung up after {} ring{}", name, watch.rings, watch.rings == 1 ? "" : "s"));
    watch.rings = 0;
    watch.caller = {};
  }
  uint8_t buffer[512];
  for (;;) {
    const long n = held.serial.Read(buffer, sizeof buffer);
    if (n < 0) {
      DropIfGone(name);
      return;
    }
    if (n == 0) break;
    for (const auto& r : watch.parser.Feed(buffer, static_cast<size_t>(n))) {
      if (r.kind == AtResult::kRing) {
        ++watch.rings;
        watch.last_ring = now;
      } else if (ReadCallerIdLine(r.text, watch.caller)) {
        // Some modems tell the caller before the first RING, most after it.
        if (watch.rings == 0) watch.last_ring = now;
      }
    }
  }
  if (watch.rings >= Configured(name)->rings && !call_) return AnswerRinging(name);
  WatchRings(name);
}

void ModemBank::AnswerRinging(const std::string& name) {
  auto& m = state();
  auto& held = *held_.at(name);
  auto& watch = *held.watch;
  core::IncomingCall from;
  from.caller_number = watch.caller.number;
  from.caller_name = watch.caller.name;
  Note(fmt::format("{}: RING x{} from {}{}", name, watch.rings,
                   from.caller_number.empty() ? (watch.caller.withheld.empty() ? "an unknown number" : watch.caller.withheld)
                                              : from.caller_number,
                   from.caller_name.empty() ? "" : " (" + from.caller_name + ")"));
  watch.rings = 0;
  watch.caller = {};
  core::PortState* port = nullptr;
  std::optional<core::AnswerPlan> plan;
  if (m.CheckAnswerable(name, port) == 0) plan = watch.ringing(from);
  if (!plan) {
    Note(fmt::format("{}: the call is not answered", name));
    return WatchRings(name);
  }
  m.BeginAnswer(*port, from, std::move(plan->done));
  call_ = std::make_unique<Call>();
  call_->received = plan->file;
  Class1Setup setup = SetupFor(*Configured(name), *port, held);
  setup.answering = true;
  setup.received = plan->file;
  setup.dial_timeout_ms = config_.dial_timeout_ms;
  call_->driver = std::make_unique<Class1Call>(held.serial, setup);
  call_->last_tick = m.clock->Now();
  call_->driver->Start();
  ScheduleTick();
}

void ModemBank::EndReceivingCall(int32_t status, const std::string& detail) {
  core::Reception reception;
  reception.file = call_->received;
  reception.status = status;
  if (const auto& driver = call_->driver) {
    reception.remote_id = driver->RemoteIdent();
    reception.pages = driver->Pages();
    reception.bit_rate = driver->BitRate();
    reception.ecm = driver->Ecm();
    if (driver->ConnectedMs() > 0) state().call->connection_ms = static_cast<int32_t>(driver->ConnectedMs());
  }
  if (status != qbfaxvmstrms_NORMAL) Note(fmt::format("Reception ended: {}", detail));
  call_.reset();
  EndReception(std::move(reception));
}

}  // namespace qvfax::modem
