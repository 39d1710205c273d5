// qvfaxd: serves the fax server's object model to local clients over
// JSON-RPC on a Unix socket, one apartment per server object.
#include <csignal>
#include <iostream>

#include <CLI/CLI.hpp>
#include <asio/io_context.hpp>
#include <asio/signal_set.hpp>

#include "daemon/interrupted_work.h"
#include "daemon/unix_listener.h"
#include "engines/engine_choice.h"
#include "platform/xdg_paths.h"
#include "rpc/broker.h"

int main(int argc, char** argv) {
  CLI::App app{"qvfaxd - the qvfax fax server daemon"};
  std::string socket_path = (qvfax::xdg::RuntimeDir() / "qvfax" / "qvfaxd.sock").string();
  qvfax::EngineChoice engine;
  int sink_timeout_ms = 20000;
  app.add_option("--socket", socket_path, "Unix socket to listen on")->capture_default_str();
  qvfax::AddEngineOptions(app, engine);
  app.add_option("--sink-timeout-ms", sink_timeout_ms,
                 "How long to wait for a client to answer a notification")
      ->capture_default_str()
      ->check(CLI::Range(1, 20000));
  CLI11_PARSE(app, argc, argv);

  std::signal(SIGPIPE, SIG_IGN);
  try {
    auto register_engine = qvfax::EngineRegistration(engine);
    qvfax::rpc::Broker broker({register_engine, std::chrono::milliseconds(sink_timeout_ms), ""});
    asio::io_context io;
    qvfax::daemon::UnixListener listener(io, broker, socket_path);
    asio::signal_set signals(io, SIGTERM, SIGINT);
    signals.async_wait([&](std::error_code, int) {
      listener.Stop();
      broker.Shutdown();
      io.stop();
    });
    listener.Start();
    qvfax::daemon::ClearInterruptedStatus();
    std::cerr << "qvfaxd: listening on " << socket_path << " (engine " << engine.name << ")\n";
    io.run();
    std::cerr << "qvfaxd: stopped\n";
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "qvfaxd: " << e.what() << "\n";
    return 1;
  }
}
