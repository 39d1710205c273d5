// qvfax modems, and how every command reports a failure.
#include <filesystem>
#include <iostream>

#include <fmt/format.h>

#include "cli/commands.h"
#include "rpc/jsonrpc.h"
#include "engines/core/port_model.h"
#include "cli/connection.h"
#include "cli/fax_session.h"
#include "engines/line/line_config.h"
#include "engines/core/received_file.h"

namespace qvfax::cli {

std::string ReceivedFaxOf(const std::string& inbox, const std::string& number,
                          std::filesystem::file_time_type since) {
  if (inbox.empty()) return {};
  // The newest fax to this number since the send began; another call's is not ours.
  std::error_code ec;
  std::filesystem::path newest;
  std::filesystem::file_time_type newest_time{};
  for (const auto& entry : std::filesystem::directory_iterator(inbox, ec)) {
    if (!core::IsReceivedFileFor(entry.path(), number)) continue;
    const auto time = entry.last_write_time(ec);
    if (ec || time < since) continue;
    if (newest.empty() || time > newest_time) {
      newest = entry.path();
      newest_time = time;
    }
  }
  return newest.string();
}

namespace {

// A line for a terminal shows what it was given, never acts on it: control
// characters (a number holding ESC sequences) are written as \xNN.
std::string Printable(const std::string& text) {
  std::string shown;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      shown += fmt::format("\\x{:02x}", byte);
    } else {
      shown.push_back(c);
    }
  }
  return shown;
}

}  // namespace

int Report(const Common& common, Exit exit, const std::string& what, int code, const std::string& description,
           const std::string& reason) {
  if (common.json) {
    rpc::json error{{"event", "error"}, {"message", what}, {"code", code}, {"description", description},
                    {"exit", static_cast<int>(exit)}};
    if (!reason.empty()) error["reason"] = reason;
    std::cout << error.dump() << std::endl;
  } else if (description.empty()) {
    std::cerr << "qvfax: " << Printable(what) << "\n";
  } else if (reason.empty()) {
    std::cerr << fmt::format("qvfax: {}: error {}: {}", Printable(what), code, Printable(description)) << "\n";
  } else {
    std::cerr << fmt::format("qvfax: {}: error {}: {}: {}", Printable(what), code, Printable(description),
                             Printable(reason))
              << "\n";
  }
  return static_cast<int>(exit);
}

int ReportError(const Common& common, std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const Failure& f) {
    return Report(common, f.exit(), f.what(), f.code(), f.description(), f.reason());
  } catch (const rpc::RemoteError& e) {
    // The queue's refusals and bad documents say what to mend.
    if (e.code() == rpc::codes::kRefused) return Report(common, Exit::kUsage, e.what(), 0, "");
    if (e.code() == rpc::codes::kBadDocument) return Report(common, Exit::kBadDocument, e.what(), 0, "");
    if (e.code() == rpc::codes::kLocalFailure || queue::IsLocalAutomationError(e.number())) {
      return Report(common, Exit::kLocalFailure, e.what(), e.number(), e.description());
    }
    return Report(common, Exit::kLineFailure, "the server refused a request", e.number() ? e.number() : e.code(), e.description());
  } catch (const core::ConfigError& e) {
    return Report(common, Exit::kUsage, e.what(), 1, "");
  } catch (const std::exception& e) {
    // A timeout, a refused connection, a daemon that went away.
    return Report(common, Exit::kDaemonUnreachable, e.what(), 1, "");
  }
}

int Modems(const Common& common, const std::string& port) {
  try {
    auto connection = Connect(common);
    FaxSession session(*connection.client);
    const auto modems = session.Detect(port);
    for (const auto& m : modems) {
      if (common.json) {
        std::cout << rpc::json{{"event", "modem"}, {"port", m.port}, {"classes", ClassList(m.classes)},
                               {"identity", m.identity}, {"description", m.description}}.dump()
                  << std::endl;
      } else {
        std::cout << fmt::format("{:<10} class {:<12} {}  {}", m.port, ClassList(m.classes), m.identity,
                                 m.description)
                  << "\n";
      }
    }
    if (modems.empty()) {
      return Report(common, Exit::kModemFailure, "no fax modem was found", -2, "No modem detected on port.",
                    session.EngineReason());
    }
    return 0;
  } catch (...) {
    return ReportError(common, std::current_exception());
  }
}

}  // namespace qvfax::cli
