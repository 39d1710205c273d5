// qvfax send: detect, open, send with progress, close.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include <fmt/format.h>

#include "cli/commands.h"
#include "engines/core/port_model.h"
#include "cli/connection.h"
#include "cli/fax_session.h"
#include "cli/progress.h"
#include "platform/xdg_paths.h"
#include "rpc/jsonrpc.h"

namespace qvfax::cli {

namespace {

std::atomic<bool> interrupted{false};

// The first signal cancels the fax; a second one ends the program at once.
extern "C" void OnInterrupt(int signal) {
  interrupted = true;
  std::signal(signal, SIG_DFL);
}

// Asks the server to prepare the documents into fax pages (Ghostscript may
// take minutes on a long PDF; the daemon says it is working meanwhile).
rpc::json Prepare(rpc::Client& client, const SendOptions& options) {
  rpc::json params = {{"files", options.files}, {"resolution", options.resolution}, {"paper", options.paper}};
  if (auto cover = CoverParam(options); !cover.is_null()) params["cover"] = std::move(cover);
  return client.Call("prepare", params);
}

}  // namespace

nlohmann::json CoverParam(const SendOptions& options) {
  if (!options.cover) return nullptr;
  const char* user = std::getenv("USER");
  nlohmann::json cover = {{"to", options.cover_to.empty() ? options.number : options.cover_to},
                          {"from", !options.cover_from.empty() ? options.cover_from
                                   : !options.local_id.empty() ? options.local_id
                                   : user                     ? user
                                                              : ""},
                          {"subject", options.subject},
                          {"comment", options.comment}};
  // The daemon reads the template: it is named by its full path.
  std::error_code ec;
  std::filesystem::path chosen = options.cover_template;
  if (chosen.empty() && std::filesystem::is_regular_file(xdg::ConfigHome() / "qvfax" / "cover.ps", ec)) {
    chosen = xdg::ConfigHome() / "qvfax" / "cover.ps";
  }
  if (!chosen.empty()) cover["template"] = std::filesystem::absolute(chosen, ec).lexically_normal().string();
  return cover;
}

int Send(const Common& common, const SendOptions& given) {
  // The daemon may run in another folder: it is given the files' full paths.
  SendOptions options = given;
  for (auto& file : options.files) {
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(file, ec);
    if (!ec) file = absolute.lexically_normal().string();
  }
  const bool terminal = !common.json && ::isatty(STDOUT_FILENO);
  try {
    auto connection = Connect(common);
    auto& client = *connection.client;
    // The documents become fax pages first: a file that cannot be faxed is
    // refused before anything is dialled.
    rpc::json prepared;
    try {
      prepared = Prepare(client, options);
    } catch (const rpc::RemoteError& e) {
      // "FILE: page N: reason", as the server says it.
      if (e.code() == rpc::codes::kBadDocument) return Report(common, Exit::kBadDocument, e.what(), 0, "");
      throw;
    }
    FaxSession session(client);
    const int64_t server = session.server();
    if (common.json) {
      std::cout << rpc::json{{"event", "started"}, {"fax", session.fax()}}.dump() << std::endl;
    } else if (terminal && connection.through_daemon) {
      std::cout << fmt::format("Fax {} in qvfaxd; from another terminal: qvfax log -f --fax {}", session.fax(), session.fax())
                << std::endl;
    }
    const auto modems = session.Detect(options.port);
    if (modems.empty()) {
      return Report(common, Exit::kModemFailure, "no fax modem was found", -2, "No modem detected on port.",
                    session.EngineReason());
    }
    // The header and the local id reach the control when the port opens: set them first.
    if (!options.local_id.empty()) client.Let(server, "IdLocale", options.local_id);
    if (!options.header.empty()) {
      const int64_t header = client.GetObject(server, "Intestazione");
      client.Let(header, "Attivata", true);
      client.Let(header, "Sinistra", options.header);
    }
    session.Open(options.port);

    client.Let(server, "NumeroFax", options.number);
    client.Let(server, "FilesTif", prepared.at("files"));
    const int64_t tx = client.GetObject(server, "Trasmissione");
    client.Let(client.GetObject(tx, "Risoluzione"), "Codice", prepared.at("resolution"));
    client.Let(client.GetObject(tx, "ECM"), "Codice", options.ecm == "on" ? 3 : 2);
    const int pages = client.Get(server, "PagineDaTrasmettere").get<int>();

    // Ctrl-C, a closed terminal or a kill: the fax is cancelled and ends
    // properly, so nothing is left saying it is still being sent.
    auto previous = std::signal(SIGINT, OnInterrupt);
    auto previous_term = std::signal(SIGTERM, OnInterrupt);
    auto previous_hup = std::signal(SIGHUP, OnInterrupt);
    bool cancelled = false;
    session.send_ended = false;
    // A moment early, as file times are coarser than the clock.
    const auto send_began = std::filesystem::file_time_type::clock::now() - std::chrono::seconds(2);
    client.Invoke(server, "Invia");
    const int64_t progress_object = client.GetObject(server, "Avanzamento");
    Progress shown;
    std::chrono::steady_clock::time_point cancelled_at;
    auto moved_at = std::chrono::steady_clock::now();
    while (!(session.send_ended && session.activity == 0)) {
      // Notifications end the wait early; the progress is read after each. A
      // terminal's bar moves often; a log's lines need not, as a page takes
      // many seconds: every read costs the fax's own thread a turn.
      session.Serve(terminal ? 250 : 2000);
      session.ThrowIfStopped();
      // Every phase of a call changes the progress within minutes (the
      // slowest page at the lowest speed included); a fax that shows nothing
      // new for longer is stuck, and the user is told rather than kept waiting.
      if (std::chrono::steady_clock::now() - moved_at > kLongestCommand) {
        throw Failure(fmt::format("the fax showed no progress for {} minutes", kLongestCommand.count()), 0, "",
                      session.EngineReason(), Exit::kLineFailure);
      }
      if (interrupted && !cancelled) {
        client.Invoke(server, "AnnullaFax");
        cancelled = true;
        cancelled_at = std::chrono::steady_clock::now();
      }
      // A cancel that the fax does not finish promptly (its modem gone silent)
      // must not hold the user: the call goes on being broken off without us.
      if (cancelled && std::chrono::steady_clock::now() - cancelled_at > std::chrono::milliseconds(1500)) {
        std::signal(SIGINT, previous);
        std::signal(SIGTERM, previous_term);
        std::signal(SIGHUP, previous_hup);
        if (terminal) std::cout << "\n";
        return Report(common, Exit::kCancelled, "the fax was cancelled before it ended", 0, "");
      }
      Progress now{client.Get(progress_object, "PageNumber").get<int>(), pages,
                   client.Get(progress_object, "Baud").get<std::string>(),
                   client.Get(progress_object, "Status").get<std::string>()};
      if (now == shown) continue;
      shown = now;
      moved_at = std::chrono::steady_clock::now();
      if (common.json) {
        std::cout << rpc::json{{"event", "progress"}, {"page", now.page}, {"pages", now.pages},
                               {"baud", now.baud}, {"status", now.status}}.dump()
                  << std::endl;
      } else if (terminal) {
        std::cout << "\r\033[K" << ProgressBar(now) << std::flush;
      } else {
        std::cout << ProgressLine(now) << std::endl;
      }
    }
    std::signal(SIGINT, previous);
    std::signal(SIGTERM, previous_term);
    std::signal(SIGHUP, previous_hup);
    if (terminal) std::cout << "\n";

    const int64_t trm = client.GetObject(server, "TRMStatus");
    const int32_t status = client.Get(trm, "Codice").get<int32_t>();
    const std::string status_text = client.Invoke(trm, "Descrizione").get<std::string>();
    const int64_t error = client.GetObject(server, "Errore");
    const int32_t code = client.Get(error, "Codice").get<int32_t>();
    const std::string code_text = client.Invoke(error, "Descrizione").get<std::string>();
    const int sent = client.Get(server, "PagineTrasmesse").get<int>();
    const std::string remote = client.Get(server, "IdRemoto").get<std::string>();
    // After a failed call the engine leaves its own words for why in the line's status.
    const std::string reason = session.EngineReason();
    session.Close();

    if (code != 0) return Report(common, ExitForError(code), "the fax was not sent", code, code_text, reason);
    if (status != 0) {
      return Report(common, ExitForStatus(status), fmt::format("the fax ended after {} of {} pages", sent, pages),
                    status, status_text, reason);
    }
    if (sent != pages) {
      // Never a success unless the remote confirmed every page.
      return Report(common, Exit::kLineFailure, fmt::format("the remote confirmed {} of {} pages", sent, pages),
                    status, status_text, reason);
    }
    // Only an engine of our own says where the remote stored the pages: this
    // process's, or the daemon's when it names its remotes' inbox.
    const std::string inbox = connection.through_daemon ? client.Call("engine", rpc::json::object()).value("inbox", "")
                                                        : RemotesInbox(common.engine);
    const std::string received = ReceivedFaxOf(inbox, options.number, send_began);
    if (common.json) {
      std::cout << rpc::json{{"event", "sent"}, {"pages", sent}, {"number", options.number}, {"remote", remote},
                             {"status", status}, {"description", status_text}, {"received_file", received}}.dump()
                << std::endl;
    } else {
      std::cout << fmt::format("Sent {} page{} to {} ({}): {}", sent, sent == 1 ? "" : "s", options.number,
                               remote.empty() ? "no remote id" : remote, status_text)
                << std::endl;
      if (!received.empty()) std::cout << "The remote fax machine stored what it received in " << received << std::endl;
    }
    return 0;
  } catch (...) {
    return ReportError(common, std::current_exception());
  }
}

}  // namespace qvfax::cli
