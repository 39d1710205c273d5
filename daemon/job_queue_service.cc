#include "daemon/job_queue_service.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <fmt/format.h>
#include <iostream>
#include <map>
#include <thread>

#include <unistd.h>

#include "platform/private_files.h"
#include "platform/xdg_paths.h"
#include "queue/apartment_home.h"
#include "queue/fax_mail.h"
#include "queue/inbox.h"
#include "documents/fax_pdf.h"
#include "queue/job_queue.h"
#include "queue/port_discovery.h"

namespace qvfax::daemon {

namespace {

// The fax as a PDF in a message that sendmail reads (-t: the recipient from
// its header; -oi: a line of one dot is no end).
void MailFax(NotifyRunner& sendmail, const queue::ReceivedFax& fax, const std::string& to, const std::string& folder) {
  std::string pdf;
  if (!fax.file.empty()) {
    const std::string pdf_file = fmt::format("{}/.fax-{}.pdf", folder, fax.id);
    try {
      documents::WriteFaxPdf(fax.file, pdf_file);
      std::ifstream in(pdf_file, std::ios::binary);
      pdf.assign(std::istreambuf_iterator<char>(in), {});
    } catch (const std::exception& e) {
      std::cerr << "qvfaxd: fax " << fax.id << " is mailed without its pages: " << e.what() << "\n";
    }
    std::error_code ec;
    std::filesystem::remove(pdf_file, ec);
  }
  const std::string message = fmt::format("{}/.fax-{}.eml", folder, fax.id);
  {
    std::ofstream out(message, std::ios::binary | std::ios::trunc);
    out << queue::FaxMail(fax, to, pdf);
    if (!out.flush()) {
      std::cerr << "qvfaxd: fax " << fax.id << " cannot be mailed: its message cannot be written\n";
      return;
    }
  }
  sendmail.Run({"-t", "-oi"}, message, std::to_string(fax.id));
}

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "qvfaxd";
  return name;
}

}  // namespace

JobQueueService::JobQueueService(rpc::Broker& broker, const QueueSettings& settings) : broker_(broker) {
  const std::filesystem::path folder =
      settings.folder.empty() ? xdg::StateHome() / "qvfax" / "queue" : std::filesystem::path(settings.folder);
  MakePrivateFolder(folder.string());
  MakePrivateFolder((folder / "documents").string());
  std::shared_ptr<queue::JobStore> store;
  if (settings.database.empty()) {
    store = queue::OpenSqliteStore((folder / "jobs.sqlite").string());
  } else {
    store = queue::OpenPostgresStore(settings.database);
  }
  ports_ = settings.ports.empty() ? queue::DiscoverPorts(broker.registry()) : settings.ports;
  queue::QueueOptions options;
  options.ports = ports_;
  const auto now_ms = [] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
  };
  options.now_ms = now_ms;
  auto registry = broker.registry();
  options.make_home = [registry](const std::string& name) {
    return std::make_unique<queue::ApartmentHome>(registry, "queue " + name);
  };
  options.on_event = [&broker](const nlohmann::json& change) { broker.JobChanged(change); };
  options.host = settings.host.empty() ? HostName() : settings.host;
  options.lease_ms = static_cast<int64_t>(settings.lease_s) * 1000;
  if (!settings.notify_command.empty()) {
    NotifyLimits limits;
    limits.timeout = std::chrono::seconds(settings.notify_timeout_s);
    notify_ = std::make_unique<NotifyRunner>(settings.notify_command, limits);
    options.on_end = [notify = notify_.get()](const queue::Job& job) {
      notify->Run({std::to_string(job.id), job.request.number, queue::OutcomeName(job.outcome),
                   std::to_string(job.pages_sent)});
    };
  }
  queue::InboxOptions inbox;
  inbox.folder = settings.inbox_folder.empty() ? (xdg::StateHome() / "qvfax" / "inbox").string() : settings.inbox_folder;
  inbox.registry = registry;
  inbox.now_ms = now_ms;
  inbox.make_home = [registry] { return std::make_unique<queue::ApartmentHome>(registry, "inbox"); };
  inbox.on_event = [&broker](const nlohmann::json& change) { broker.InboxChanged(change); };
  NotifyLimits limits;
  limits.timeout = std::chrono::seconds(settings.notify_timeout_s);
  limits.label = "received fax";
  if (!settings.on_receive.empty()) on_receive_ = std::make_unique<NotifyRunner>(settings.on_receive, limits);
  if (!settings.mail_to.empty()) {
    limits.label = "mail of fax";
    mail_ = std::make_unique<NotifyRunner>(settings.sendmail, limits);
  }
  // The address for a fax: its port's own, else the one for every port.
  std::map<std::string, std::string> to;
  for (const auto& entry : settings.mail_to) {
    const auto eq = entry.find('=');
    if (eq == std::string::npos || entry.substr(0, eq).find('@') != std::string::npos) {
      to[""] = entry;
    } else {
      to[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
  }
  inbox.on_receive = [run = on_receive_.get(), mail = mail_.get(), to, folder = inbox.folder](const queue::ReceivedFax& fax) {
    if (run) {
      run->Run({std::to_string(fax.id), fax.file, fax.caller_number, std::to_string(fax.pages),
                fax.complete ? "complete" : "partial"});
    }
    auto address = to.find(fax.port);
    if (address == to.end()) address = to.find("");
    if (mail && address != to.end()) MailFax(*mail, fax, address->second, folder);
  };
  inbox_ = std::make_unique<queue::Inbox>(store, std::move(inbox));
  broker.AttachInbox(inbox_.get());
  const auto receive_only = inbox_->AnswerCalls(settings.answer);
  // A port that answers calls is lent to the queue for each send.
  options.take_port = [inbox = inbox_.get()](const std::string& port, std::function<void()> go) {
    inbox->Take(port, std::move(go));
  };
  options.give_port = [inbox = inbox_.get()](const std::string& port) { inbox->Give(port); };
  // Ports that only answer are not the queue's.
  for (const auto& port : receive_only) std::erase(ports_, port);
  options.ports = ports_;
  queue_ = std::make_unique<queue::JobQueue>(store, std::move(options));
  broker.AttachQueue(queue_.get(), (folder / "documents").string());
}

JobQueueService::~JobQueueService() {
  broker_.AttachInbox(nullptr);
  broker_.AttachQueue(nullptr, "");
  inbox_->StopLending();  // no port is handed to a queue that is going
  queue_.reset();
  inbox_.reset();
  notify_.reset();  // after the runners, which may still tell of a job's end
  on_receive_.reset();
}

}  // namespace qvfax::daemon
