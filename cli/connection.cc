#include "cli/connection.h"

#include "platform/xdg_paths.h"
#include "rpc/in_process.h"

namespace qvfax::cli {

std::string DefaultSocketPath() { return (xdg::RuntimeDir() / "qvfax" / "qvfaxd.sock").string(); }

Connection Connect(const std::string& socket_path, const EngineChoice& engine) {
  Connection connection;
  try {
    connection.client = std::make_unique<rpc::Client>(rpc::ConnectUnixSocket(socket_path));
    connection.through_daemon = true;
    return connection;
  } catch (const std::runtime_error&) {
    // No daemon: serve ourselves.
  }
  connection.local = std::make_unique<rpc::Broker>(rpc::BrokerOptions{EngineRegistration(engine)});
  connection.client = std::make_unique<rpc::Client>(rpc::ConnectInProcess(*connection.local));
  return connection;
}

}  // namespace qvfax::cli
