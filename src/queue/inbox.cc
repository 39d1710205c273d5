#include "queue/inbox.h"

#include <algorithm>
#include <filesystem>
#include <future>
#include <iostream>
#include <mutex>

#include <fmt/format.h>

#include "engines/core/bank.h"
#include "engines/core/received_file.h"
#include "platform/apartment.h"
#include "platform/ole_date.h"
#include "platform/private_files.h"
#include "server/control_host.h"
#include "values/enums.h"

namespace qvfax::queue {

// One port's control as the inbox uses it, on the home's thread only: each
// port has its own, so calls on different ports are taken at once.
struct Inbox::Line {
  std::shared_ptr<FaxControl> control;
  core::Bank* bank = nullptr;
  bool listening = false;  // it waits for calls that ring
  bool receiving = false;  // a call has it
  bool lent = false;       // the queue has it
  std::vector<std::function<void()>> takers;  // waiting for the call to end
  Clock::TimerId resting = 0;                 // the line rests after a call before the queue dials
};

namespace {

// A line just hung up gets no dial tone at once: the exchange (or a soft
// modem's far end) clears the call first. A job that waited for the call
// dials after this.
constexpr std::chrono::seconds kLineRest{8};

std::string Stamp(int64_t ms) {
  return core::ReceivedStamp(
      OleDate::FromSystemTime(std::chrono::system_clock::time_point(std::chrono::milliseconds(ms))));
}

}  // namespace

Inbox::Inbox(std::shared_ptr<JobStore> store, InboxOptions options)
    : store_(std::move(store)), options_(std::move(options)) {
  MakePrivateFolder(options_.folder);
  home_ = options_.make_home();
}

Inbox::~Inbox() {
  // The controls go on their own thread, breaking off a call under way.
  std::promise<void> released;
  home_->Post([this, &released] {
    for (auto& [port, line] : lines_) {
      if (line->resting) RequireApartment().clock->Cancel(line->resting);
    }
    lines_.clear();
    released.set_value();
  });
  released.get_future().wait();
  home_.reset();
}

std::vector<ReceivedFax> Inbox::List(int limit) { return store_->Received(limit); }
std::optional<ReceivedFax> Inbox::Find(int64_t id) { return store_->FindReceived(id); }

bool Inbox::Remove(int64_t id) {
  const auto fax = store_->FindReceived(id);
  if (!fax || !store_->RemoveReceived(id)) return false;
  std::error_code ec;
  if (!fax->file.empty()) std::filesystem::remove(fax->file, ec);
  if (options_.on_event) options_.on_event({{"event", "removed"}, {"fax", ToJson(*fax)}});
  return true;
}

Inbox::Line& Inbox::LineFor(const std::string& port) {
  auto& line = lines_[port];
  if (!line) {
    line = std::make_unique<Line>();
    line->control = RequireApartment().registry->Create<FaxControl>(kFaxControlClass);
    line->bank = dynamic_cast<core::Bank*>(line->control.get());
  }
  return *line;
}

std::filesystem::path Inbox::NewFile(int64_t when_ms, const std::string& caller) const {
  return core::ReserveReceivedFile(options_.folder, Stamp(when_ms), caller.empty() ? "unknown" : caller);
}

void Inbox::Answer(const std::string& port, const core::IncomingCall& from, Answered done) {
  home_->Post([this, port, from, done = std::move(done)] {
    Line& line = LineFor(port);
    if (!line.bank) return done(std::nullopt, "this engine does not answer calls");
    if (line.bank->GetPortStatus(port) == qbfaxvmps_PortClosed) {
      if (const int32_t error = line.bank->OpenPort(port)) {
        return done(std::nullopt, fmt::format("port {} cannot be opened (error {})", port, error));
      }
    }
    const int64_t answered_ms = options_.now_ms();
    const auto file = NewFile(answered_ms, from.caller_number);
    const int32_t error = line.bank->AnswerNow(port, from, file.string(), [this, answered_ms, done](const core::Reception& r) {
      Received(r, answered_ms, done);
    });
    if (error == 0) return Incoming(port, from);
    std::error_code ec;
    std::filesystem::remove(file, ec);
    const char* why = error == qbfaxvmec_FER_FAXNOW ? "is busy with another call" : "cannot answer";
    done(std::nullopt, fmt::format("port {} {} (error {})", port, why, error));
  });
}

std::vector<std::string> Inbox::AnswerCalls(const std::vector<std::string>& named) {
  std::promise<std::vector<std::string>> answering;
  home_->Post([this, named, &answering] {
    std::vector<std::string> ports = named, receive_only;
    // The engine's own file may name ports that answer; one control tells.
    if (auto probe = RequireApartment().registry->Create<FaxControl>(kFaxControlClass)) {
      if (auto* bank = dynamic_cast<core::Bank*>(probe.get())) {
        for (const auto& port : bank->AnsweringPorts()) {
          if (std::find(ports.begin(), ports.end(), port.name) == ports.end()) ports.push_back(port.name);
          if (!port.sends) receive_only.push_back(port.name);
        }
      }
    }
    for (const auto& port : ports) Listen(port, LineFor(port));
    answering.set_value(receive_only);
  });
  return answering.get_future().get();
}

bool Inbox::Listen(const std::string& port, Line& line) {
  if (!line.bank) {
    std::cerr << "qvfaxd: port " << port << " cannot answer calls: the engine does not answer\n";
    return false;
  }
  if (line.bank->GetPortStatus(port) == qbfaxvmps_PortClosed) {
    if (const int32_t error = line.bank->OpenPort(port)) {
      std::cerr << fmt::format("qvfaxd: port {} cannot answer calls: it cannot be opened (error {}: {})\n", port, error,
                               line.bank->GetStatusText());
      return false;
    }
  }
  const int32_t error = line.bank->AnswerCalls(port, [this, port](const core::IncomingCall& from)
                                                    -> std::optional<core::AnswerPlan> {
    Line& l = *lines_.at(port);
    if (l.lent) return std::nullopt;
    const int64_t answered_ms = options_.now_ms();
    core::AnswerPlan plan;
    plan.file = NewFile(answered_ms, from.caller_number).string();
    plan.done = [this, port, answered_ms](const core::Reception& r) {
      Received(r, answered_ms, {});
      // The queue may wait for the port: it goes once the bank is done with
      // the call and the line has rested.
      home_->Post([this, port] {
        auto it = lines_.find(port);
        if (it == lines_.end()) return;
        it->second->resting = RequireApartment().clock->Schedule(kLineRest, [this, port] {
          auto rested = lines_.find(port);
          if (rested == lines_.end()) return;
          rested->second->resting = 0;
          rested->second->receiving = false;
          auto takers = std::move(rested->second->takers);
          for (auto& go : takers) Take(port, std::move(go));
        });
      });
    };
    if (l.resting) {
      // Another call came in while the line rested: the queue waits for this one too.
      RequireApartment().clock->Cancel(l.resting);
      l.resting = 0;
    }
    l.receiving = true;
    Incoming(port, from);
    return plan;
  });
  if (error != 0) {
    std::cerr << fmt::format("qvfaxd: port {} cannot answer calls (error {})\n", port, error);
    line.bank->ClosePort(port);
    return false;
  }
  line.listening = true;
  std::cerr << "qvfaxd: answering calls on " << port << "\n";
  return true;
}

void Inbox::Incoming(const std::string& port, const core::IncomingCall& from) {
  if (options_.on_event) {
    options_.on_event({{"event", "incoming"}, {"port", port}, {"caller_number", from.caller_number},
                       {"caller_name", from.caller_name}});
  }
}

void Inbox::Take(const std::string& port, std::function<void()> go) {
  home_->Post([this, port, go = std::move(go)]() mutable {
    if (!lending_) return;
    auto it = lines_.find(port);
    if (it == lines_.end() || !it->second->listening) return go();
    Line& line = *it->second;
    if (line.receiving) {
      if (line.takers.empty()) std::cerr << "qvfaxd: the queue waits for " << port << ": a fax is coming in on it\n";
      return line.takers.push_back(std::move(go));
    }
    if (!line.lent) {
      line.bank->ClosePort(port);  // its lock goes with it, for the queue's runner to take
      line.lent = true;
    }
    go();
  });
}

void Inbox::Give(const std::string& port) {
  home_->Post([this, port] {
    auto it = lines_.find(port);
    if (it == lines_.end() || !it->second->lent) return;
    it->second->lent = false;
    it->second->listening = false;
    Listen(port, *it->second);
  });
}

void Inbox::StopLending() {
  std::promise<void> stopped;
  home_->Post([this, &stopped] {
    lending_ = false;
    for (auto& [port, line] : lines_) line->takers.clear();
    stopped.set_value();
  });
  stopped.get_future().wait();
}

void Inbox::Received(const core::Reception& r, int64_t answered_ms, const Answered& done) {
  ReceivedFax fax;
  fax.received_ms = answered_ms;
  fax.port = r.port;
  fax.caller_number = r.from.caller_number;
  fax.caller_name = r.from.caller_name;
  fax.remote_id = r.remote_id;
  fax.pages = r.pages;
  fax.y_dpi = r.y_dpi;
  fax.bit_rate = r.bit_rate;
  fax.ecm = r.ecm;
  fax.duration_ms = r.duration_ms;
  fax.complete = r.complete;
  fax.reason = r.reason;
  fax.file = r.file;
  // A call that brought no page is kept too: someone called, and why it failed is worth knowing.
  try {
    fax.id = store_->AddReceived(fax);
  } catch (const StoreError& e) {
    std::cerr << "qvfaxd: the fax from " << (fax.caller_number.empty() ? "an unknown number" : fax.caller_number)
              << " came in but cannot be recorded: " << e.what() << "; it is kept as " << fax.file << "\n";
    if (done) done(fax, std::string("the fax came in but cannot be recorded: ") + e.what());
    return;
  }
  if (!fax.complete) {
    std::cerr << fmt::format("qvfaxd: fax {} from {} on {} is partial: {}\n", fax.id,
                             fax.caller_number.empty() ? "an unknown number" : fax.caller_number, fax.port, fax.reason);
  }
  if (options_.on_event) options_.on_event({{"event", "received"}, {"fax", ToJson(fax)}});
  if (options_.on_receive) options_.on_receive(fax);
  if (done) done(fax, "");
}

}  // namespace qvfax::queue
