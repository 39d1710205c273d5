// qvfax modems, status, log and cancel.
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include <fmt/format.h>

#include "cli/commands.h"
#include "engines/core/port_model.h"
#include "cli/connection.h"
#include "cli/fax_session.h"
#include "engines/line/line_config.h"
#include "platform/xdg_paths.h"

namespace qvfax::cli {

namespace {

std::optional<std::string> Published(const std::string& name) {
  std::ifstream in(xdg::RuntimeDir() / "qvfax" / name, std::ios::binary);
  if (!in) return std::nullopt;
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

std::string LatestReceivedFax(const EngineChoice& engine) {
  if (engine.name != "line") return {};
  std::string inbox;
  try {
    inbox = engine.config.empty() ? line::DefaultLineConfig().inbox : line::LoadLineConfig(engine.config).inbox;
  } catch (const std::exception&) {
    return {};
  }
  std::error_code ec;
  std::filesystem::path newest;
  std::filesystem::file_time_type newest_time{};
  for (const auto& entry : std::filesystem::directory_iterator(inbox, ec)) {
    const auto name = entry.path().filename().string();
    if (name.empty() || name[0] == '.' || entry.path().extension() != ".tif") continue;
    const auto time = entry.last_write_time(ec);
    if (newest.empty() || time > newest_time) {
      newest = entry.path();
      newest_time = time;
    }
  }
  return newest.string();
}

int Report(const Common& common, Exit exit, const std::string& what, int code, const std::string& description) {
  if (common.json) {
    std::cout << rpc::json{{"event", "error"}, {"message", what}, {"code", code}, {"description", description},
                           {"exit", static_cast<int>(exit)}}.dump()
              << std::endl;
  } else if (description.empty()) {
    std::cerr << "qvfax: " << what << "\n";
  } else {
    std::cerr << fmt::format("qvfax: {}: error {}: {}", what, code, description) << "\n";
  }
  return static_cast<int>(exit);
}

int Modems(const Common& common, const std::string& port) {
  try {
    auto connection = Connect(common.socket, common.engine);
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
    if (modems.empty()) return Report(common, Exit::kModemFailure, "no fax modem was found", -2, "No modem detected on port.");
    return 0;
  } catch (const rpc::RemoteError& e) {
    return Report(common, Exit::kLineFailure, "the server refused a request", e.number() ? e.number() : e.code(), e.description());
  } catch (const core::ConfigError& e) {
    return Report(common, Exit::kUsage, e.what(), 1, "");
  } catch (const std::exception& e) {
    return Report(common, Exit::kDaemonUnreachable, e.what(), 1, "");
  }
}

int Status(const Common& common) {
  auto text = Published("QvVavUvaRazUr");
  if (!text) return Report(common, Exit::kDaemonUnreachable, "no server has published a status yet", 1, "");
  if (common.json) {
    std::cout << rpc::json{{"event", "status"}, {"xml", *text}}.dump() << std::endl;
  } else {
    std::cout << *text << std::endl;
  }
  return 0;
}

int Log(const Common& common, bool follow) {
  std::string shown;
  auto show = [&](const std::string& text) {
    // A new fax starts a new log text: show it from its beginning.
    const bool grew = text.size() >= shown.size() && text.compare(0, shown.size(), shown) == 0;
    const std::string fresh = grew ? text.substr(shown.size()) : text;
    shown = text;
    if (fresh.empty()) return;
    if (common.json) {
      std::cout << rpc::json{{"event", "log"}, {"text", fresh}}.dump() << std::endl;
    } else {
      std::string plain = fresh;
      plain.erase(std::remove(plain.begin(), plain.end(), '\r'), plain.end());
      std::cout << plain << std::flush;
    }
  };
  if (auto text = Published("QvVavUvaRazUr_Log")) show(*text);
  if (!follow) return 0;
  try {
    rpc::Client client(rpc::ConnectUnixSocket(common.socket));
    client.on_notification = [&](const std::string& method, const rpc::json& params) {
      if (method == "published") show(params.value("text", std::string()));
    };
    client.Call("follow", {{"name", "QvVavUvaRazUr_Log"}});
    while (true) client.Pump(std::chrono::milliseconds(1000));
  } catch (const std::exception&) {
    // No daemon (or it went away): watch the published file instead.
  }
  while (true) {
    if (auto text = Published("QvVavUvaRazUr_Log"); text && *text != shown) show(*text);
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  }
}

int Cancel(const Common& common) {
  try {
    rpc::Client client(rpc::ConnectUnixSocket(common.socket));
    const int cancelled = client.Call("cancel", rpc::json::object()).get<int>();
    if (common.json) {
      std::cout << rpc::json{{"event", "cancel"}, {"servers", cancelled}}.dump() << std::endl;
    } else {
      std::cout << fmt::format("Asked {} server object{} to cancel", cancelled, cancelled == 1 ? "" : "s") << "\n";
    }
    return 0;
  } catch (const std::exception&) {
    return Report(common, Exit::kDaemonUnreachable, "no qvfaxd is running; a send in a terminal is cancelled with Ctrl-C", 1, "");
  }
}

}  // namespace qvfax::cli
