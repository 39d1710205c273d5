#include "queue/inbox.h"

#include <filesystem>
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

// The engine's control as the inbox uses it, on the home's thread only.
struct Inbox::Line {
  std::shared_ptr<FaxControl> control;
  core::Bank* bank = nullptr;
};

namespace {

std::string Stamp(int64_t ms) {
  return core::ReceivedStamp(
      OleDate::FromSystemTime(std::chrono::system_clock::time_point(std::chrono::milliseconds(ms))));
}

}  // namespace

Inbox::Inbox(std::shared_ptr<JobStore> store, InboxOptions options)
    : store_(std::move(store)), options_(std::move(options)), line_(std::make_shared<Line>()) {
  MakePrivateFolder(options_.folder);
  home_ = options_.make_home();
}

Inbox::~Inbox() {
  // The control goes on its own thread, breaking off a call under way.
  std::promise<void> released;
  home_->Post([line = line_, &released] {
    line->bank = nullptr;
    line->control.reset();
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

void Inbox::Answer(const std::string& port, const core::IncomingCall& from, Answered done) {
  home_->Post([this, line = line_, port, from, done = std::move(done)] {
    if (!line->control) {
      line->control = RequireApartment().registry->Create<FaxControl>(kFaxControlClass);
      line->bank = dynamic_cast<core::Bank*>(line->control.get());
    }
    if (!line->bank) return done(std::nullopt, "this engine does not answer calls");
    if (line->bank->GetPortStatus(port) == qbfaxvmps_PortClosed) {
      if (const int32_t error = line->bank->OpenPort(port)) {
        return done(std::nullopt, fmt::format("port {} cannot be opened (error {})", port, error));
      }
    }
    const int64_t answered_ms = options_.now_ms();
    const auto file = core::ReserveReceivedFile(options_.folder, Stamp(answered_ms),
                                                from.caller_number.empty() ? "unknown" : from.caller_number);
    const int32_t error = line->bank->AnswerNow(port, from, file.string(), [this, answered_ms, done](const core::Reception& r) {
      Received(r, answered_ms, done);
    });
    if (error != 0) {
      std::error_code ec;
      std::filesystem::remove(file, ec);
      const char* why = error == qbfaxvmec_FER_FAXNOW ? "is busy with another call" : "cannot answer";
      done(std::nullopt, fmt::format("port {} {} (error {})", port, why, error));
    }
  });
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
    return done(fax, std::string("the fax came in but cannot be recorded: ") + e.what());
  }
  if (options_.on_event) options_.on_event({{"event", "received"}, {"fax", ToJson(fax)}});
  if (options_.on_receive) options_.on_receive(fax);
  done(fax, "");
}

}  // namespace qvfax::queue
