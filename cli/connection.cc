#include "cli/connection.h"

#include <time.h>

#include <stdexcept>

#include <fmt/format.h>

#include "cli/commands.h"
#include "engines/core/port_model.h"
#include "platform/xdg_paths.h"
#include "rpc/in_process.h"

namespace qvfax::cli {

namespace {

void SetTimeout(rpc::Client& client, const Common& common) {
  client.call_timeout = std::chrono::milliseconds(static_cast<int64_t>(common.timeout_s * 1000));
}

}  // namespace

std::string DefaultSocketPath() { return (xdg::RuntimeDir() / "qvfax" / "qvfaxd.sock").string(); }

std::unique_ptr<rpc::Client> RequireDaemon(const Common& common, const std::string& what) {
  auto client = ConnectDaemon(common);
  if (!client) throw std::runtime_error("qvfaxd is not running at " + common.socket + ": " + what + " is kept by qvfaxd");
  return client;
}

std::string LocalTime(int64_t ms) {
  if (ms <= 0) return "-";
  const time_t seconds = static_cast<time_t>(ms / 1000);
  tm local{};
  localtime_r(&seconds, &local);
  char text[32];
  strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

std::unique_ptr<rpc::Client> ConnectDaemon(const Common& common) {
  try {
    auto client = std::make_unique<rpc::Client>(rpc::ConnectUnixSocket(common.socket));
    SetTimeout(*client, common);
    return client;
  } catch (const std::runtime_error&) {
    return nullptr;
  }
}

Connection Connect(const Common& common) {
  Connection connection;
  if (!common.in_process) {
    connection.client = ConnectDaemon(common);
    if (connection.client) {
      if (common.engine_given) {
        throw core::ConfigError(fmt::format(
            "qvfaxd is running at {} and serves with its own engine, so --engine, --engine-config and --line-speed "
            "would be ignored: add --in-process to run this command on its own, or restart qvfaxd with these options",
            common.socket));
      }
      connection.through_daemon = true;
      return connection;
    }
  }
  rpc::BrokerOptions options;
  options.register_engine = EngineRegistration(common.engine);
  connection.local = std::make_unique<rpc::Broker>(std::move(options));
  connection.client = std::make_unique<rpc::Client>(rpc::ConnectInProcess(*connection.local));
  SetTimeout(*connection.client, common);
  return connection;
}

}  // namespace qvfax::cli
