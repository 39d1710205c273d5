// qvfax status, log and cancel: they act on the daemon's faxes of the
// caller's terminal session, one named fax, or all; without a daemon, on
// what an in-process send published.
#include <algorithm>
#include <chrono>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <thread>

#include <fmt/format.h>

#include "cli/commands.h"
#include "cli/connection.h"
#include "cli/status_summary.h"
#include "platform/xdg_paths.h"

namespace qvfax::cli {

namespace {

constexpr const char* kStatusName = "QvVavUvaRazUr";
constexpr const char* kLogName = "QvVavUvaRazUr_Log";

std::optional<std::string> Published(const std::string& name) {
  std::ifstream in(xdg::RuntimeDir() / "qvfax" / name, std::ios::binary);
  if (!in) return std::nullopt;
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

rpc::json SelectionParams(const Selection& which) {
  if (which.fax != 0) return {{"fax", which.fax}};
  return {{"scope", which.all ? "all" : "own"}};
}

// The choice, and with none under way the newest fax that ended: status and
// log right after a send still show it.
rpc::json WithEnded(rpc::json params) {
  params["ended"] = true;
  return params;
}

// Says why nothing was chosen; a named fax that does not exist is an error.
// Says that no fax was chosen, and what to name; `exit` is the status to end
// with (a status shown of nothing is no failure, a cancel of nothing is).
int NothingChosen(const Common& common, rpc::Client& client, const Selection& which, Exit exit = Exit::kDelivered) {
  if (which.fax != 0) return Report(common, Exit::kUsage, fmt::format("qvfaxd has no fax {}", which.fax), 1, "");
  const size_t others = which.all ? 0 : client.Call("faxes", {{"scope", "all"}}).size();
  const std::string text =
      others == 0 ? "qvfaxd has no fax at the moment"
                  : fmt::format("no fax of this terminal session is in qvfaxd ({} other{}: name one with --fax ID, or use --all)",
                                others, others == 1 ? "" : "s");
  if (common.json) {
    std::cout << rpc::json{{"event", "none"}, {"message", text}, {"others", others}}.dump() << std::endl;
  } else {
    std::cerr << "qvfax: " << text << "\n";
  }
  return static_cast<int>(exit);
}

// `fax` as the daemon lists it, or just a status document.
void ShowStatus(const Common& common, int64_t fax, const std::string& title, const rpc::json& listed, bool raw) {
  const std::string xml = listed.value("status", std::string());
  auto summary = Summarize(xml);
  if (summary && listed.contains("live")) {
    // The document keeps the number and pages of its last build; the daemon read the live ones.
    const auto& live = listed["live"];
    summary->number = live.value("number", summary->number);
    summary->pages_total = live.value("pages_total", summary->pages_total);
    summary->pages_sent = live.value("pages_sent", summary->pages_sent);
  }
  if (common.json) {
    rpc::json event{{"event", "status"}, {"fax", fax}};
    if (raw || !summary) {
      event["xml"] = xml;
    } else {
      event.update(SummaryJson(*summary));
    }
    std::cout << event.dump() << std::endl;
  } else if (raw || !summary) {
    std::cout << xml << std::endl;
  } else {
    std::cout << FormatSummary(title, *summary);
  }
}

// Prints log text as it grows, per fax; a new text for a fax (a new send)
// starts from its beginning.
class LogPrinter {
 public:
  LogPrinter(const Common& common, bool prefix) : common_(common), prefix_(prefix) {}

  void Show(int64_t fax, const std::string& text) {
    std::string& shown = shown_[fax];
    const bool grew = text.size() >= shown.size() && text.compare(0, shown.size(), shown) == 0;
    std::string fresh = grew ? text.substr(shown.size()) : text;
    shown = text;
    if (fresh.empty()) return;
    if (common_.json) {
      std::cout << rpc::json{{"event", "log"}, {"fax", fax}, {"text", fresh}}.dump() << std::endl;
      return;
    }
    fresh.erase(std::remove(fresh.begin(), fresh.end(), '\r'), fresh.end());
    if (prefix_) {
      std::string marked;
      size_t start = 0;
      while (start < fresh.size()) {
        const size_t end = fresh.find('\n', start);
        const size_t stop = end == std::string::npos ? fresh.size() : end + 1;
        marked += fmt::format("[fax {}] ", fax) + fresh.substr(start, stop - start);
        start = stop;
      }
      fresh = marked;
    }
    std::cout << fresh << std::flush;
  }

 private:
  const Common& common_;
  bool prefix_;
  std::map<int64_t, std::string> shown_;
};

std::unique_ptr<rpc::Client> Daemon(const Common& common) {
  return common.in_process ? nullptr : ConnectDaemon(common);
}

}  // namespace

int Status(const Common& common, const Selection& which, bool xml) {
  auto client = Daemon(common);
  if (!client) {
    auto text = Published(kStatusName);
    if (!text) return Report(common, Exit::kDaemonUnreachable, "no qvfaxd is running and no server has published a status", 1, "");
    ShowStatus(common, 0, "The last status published (no qvfaxd is running)", rpc::json{{"status", *text}}, xml);
    return 0;
  }
  const auto faxes = client->Call("faxes", WithEnded(SelectionParams(which)));
  if (faxes.empty()) return NothingChosen(common, *client, which);
  for (const auto& fax : faxes) {
    const int64_t id = fax.value("fax", int64_t{0});
    const std::string title = fax.value("ended", false) ? fmt::format("Fax {} (ended)", id)
                                                        : fmt::format("Fax {} (client process {})", id, fax.value("pid", 0));
    ShowStatus(common, id, title, fax, xml);
  }
  return 0;
}

int Log(const Common& common, const Selection& which, bool follow) {
  auto client = Daemon(common);
  LogPrinter printer(common, which.all);
  if (!client) {
    // No daemon: an in-process send publishes its log to a file; watch that.
    if (auto text = Published(kLogName)) printer.Show(0, *text);
    while (follow) {
      if (auto text = Published(kLogName)) printer.Show(0, *text);
      std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    return 0;
  }
  try {
    client->on_notification = [&](const std::string& method, const rpc::json& params) {
      if (method == "published") printer.Show(params.value("fax", int64_t{0}), params.value("text", std::string()));
    };
    if (follow) {
      rpc::json params = SelectionParams(which);
      params["name"] = kLogName;
      client->Call("follow", params);
    }
    const auto faxes = client->Call("faxes", WithEnded(SelectionParams(which)));
    for (const auto& fax : faxes) printer.Show(fax.value("fax", int64_t{0}), fax.value("log", std::string()));
    if (!follow) return faxes.empty() ? NothingChosen(common, *client, which) : 0;
    while (true) client->Pump(std::chrono::milliseconds(1000));
  } catch (const rpc::CallTimeout& e) {
    return Report(common, Exit::kDaemonUnreachable, e.what(), 1, "");
  } catch (const std::runtime_error& e) {
    return Report(common, Exit::kDaemonUnreachable, std::string("qvfaxd went away: ") + e.what(), 1, "");
  }
}

int Cancel(const Common& common, const Selection& which) {
  auto client = Daemon(common);
  if (!client) {
    return Report(common, Exit::kDaemonUnreachable, "no qvfaxd is running; a send in a terminal is cancelled with Ctrl-C", 1, "");
  }
  const auto chosen = client->Call("faxes", SelectionParams(which));
  if (chosen.empty()) return NothingChosen(common, *client, which, Exit::kUsage);
  const int cancelled = client->Call("cancel", SelectionParams(which)).get<int>();
  if (cancelled == 0) return NothingChosen(common, *client, which, Exit::kUsage);  // they ended meanwhile
  std::vector<int64_t> ids;
  for (const auto& fax : chosen) ids.push_back(fax.value("fax", int64_t{0}));
  if (common.json) {
    std::cout << rpc::json{{"event", "cancel"}, {"faxes", ids}, {"servers", cancelled}}.dump() << std::endl;
  } else {
    std::cout << fmt::format("Asked fax{} {} to cancel", ids.size() == 1 ? "" : "es", fmt::join(ids, ", ")) << "\n";
  }
  return 0;
}

}  // namespace qvfax::cli
