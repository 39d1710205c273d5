// qvfaxd: serves the fax server's object model to local clients over
// JSON-RPC on a Unix socket, one apartment per server object.
#include <sys/stat.h>

#include <csignal>
#include <iostream>

#include <CLI/CLI.hpp>
#include <fmt/format.h>
#include <fmt/ranges.h>
#include <asio/io_context.hpp>
#include <asio/signal_set.hpp>

#include "daemon/interrupted_work.h"
#include "daemon/job_queue_service.h"
#include "daemon/unix_listener.h"
#include "engines/engine_choice.h"
#include "platform/xdg_paths.h"
#include "rpc/broker.h"

int main(int argc, char** argv) {
  CLI::App app{"qvfaxd - the qvfax fax server daemon"};
  app.set_version_flag("--version", "qvfaxd " QVFAX_VERSION);
  std::string socket_path = (qvfax::xdg::RuntimeDir() / "qvfax" / "qvfaxd.sock").string();
  qvfax::EngineChoice engine;
  int sink_timeout_ms = 20000;
  app.add_option("--socket", socket_path, "Unix socket to listen on")->capture_default_str();
  qvfax::AddEngineOptions(app, engine);
  app.add_option("--sink-timeout-ms", sink_timeout_ms,
                 "How long to wait for a client to answer a notification")
      ->capture_default_str()
      ->check(CLI::Range(1, 20000));
  qvfax::daemon::QueueSettings queue;
  bool no_queue = false;
  app.add_flag("--no-queue", no_queue, "Keep no fax queue: serve the object model only");
  app.add_option("--queue-ports", queue.ports, "Ports the queue sends on (default: every port with a fax modem)")
      ->delimiter(',');
  app.add_option("--queue-folder", queue.folder, "Folder of the queue's database and documents");
  app.add_option("--queue-db", queue.database,
                 "postgresql://... : keep the jobs in this database, shared by every host given it (their "
                 "--queue-folder must be one folder they all read)")
      ->check([](const std::string& url) {
        return url.rfind("postgresql://", 0) == 0 || url.rfind("postgres://", 0) == 0
                   ? std::string()
                   : std::string("must be a postgresql:// URL");
      });
  app.add_option("--host-name", queue.host, "How the hosts sharing a queue name this one (default: the host name)");
  app.add_option("--lease", queue.lease_s, "Seconds a running job stays this host's unless renewed (shared queue)")
      ->check(CLI::Range(3, 3600))
      ->capture_default_str();
  app.add_option("--notify-command", queue.notify_command,
                 "Command run when a job ends, as: COMMAND JOB NUMBER OUTCOME PAGES (at most 4 at once; its output "
                 "goes to the journal)");
  app.add_option("--notify-timeout", queue.notify_timeout_s, "Seconds a notify command may run before it is ended")
      ->capture_default_str()
      ->check(CLI::Range(1, 3600));
  app.add_option("--inbox-folder", queue.inbox_folder, "Folder of the faxes that come in");
  app.add_option("--answer", queue.answer,
                 "Ports that answer the calls that ring on them (besides those the engine file names); the queue "
                 "still sends on them between calls")
      ->delimiter(',');
  app.add_option("--on-receive", queue.on_receive,
                 "Command run for each fax that comes in, as: COMMAND FAXID FILE CALLER PAGES OUTCOME (OUTCOME is "
                 "complete or partial)");
  app.add_option("--mail-to", queue.mail_to,
                 "Mail each fax that comes in to ADDRESS, as a PDF, through sendmail; PORT=ADDRESS for the faxes of "
                 "one port (may be given again)");
  app.add_option("--sendmail", queue.sendmail, "The sendmail program that delivers the mail")->capture_default_str();
  CLI11_PARSE(app, argc, argv);
  queue.enabled = !no_queue;

  std::signal(SIGPIPE, SIG_IGN);
  // Everything qvfaxd writes (the queue, documents, logs, received faxes) is the user's alone.
  ::umask(077);
  try {
    auto register_engine = qvfax::EngineRegistration(engine);
    qvfax::rpc::Broker broker({register_engine, std::chrono::milliseconds(sink_timeout_ms), "",
                               {{"name", engine.name}, {"inbox", qvfax::RemotesInbox(engine)}}});
    asio::io_context io;
    std::unique_ptr<qvfax::daemon::JobQueueService> jobs;
    if (queue.enabled) jobs = std::make_unique<qvfax::daemon::JobQueueService>(broker, queue);
    qvfax::daemon::UnixListener listener(io, broker, socket_path);
    asio::signal_set signals(io, SIGTERM, SIGINT);
    signals.async_wait([&](std::error_code, int) {
      listener.Stop();
      jobs.reset();
      broker.Shutdown();
      io.stop();
    });
    listener.Start();
    qvfax::daemon::ClearInterruptedStatus();
    std::cerr << "qvfaxd: listening on " << socket_path << " (engine " << engine.name << ")\n";
    if (jobs) std::cerr << "qvfaxd: queue on " << fmt::format("{}", fmt::join(jobs->ports(), ", ")) << "\n";
    io.run();
    std::cerr << "qvfaxd: stopped\n";
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "qvfaxd: " << e.what() << "\n";
    return 1;
  }
}
