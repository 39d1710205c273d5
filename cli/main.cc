// qvfax: send faxes, list modems, show the status and follow the log.
#include <sys/stat.h>

#include <csignal>

#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "engines/core/port_model.h"
#include "cli/connection.h"

int main(int argc, char** argv) {
  using namespace qvfax::cli;
  std::signal(SIGPIPE, SIG_IGN);
  // Serving itself, qvfax writes logs and documents: the user's alone.
  ::umask(077);
  CLI::App app{"qvfax - send faxes through the qvfax server"};
  app.require_subcommand(1);
  // Options of qvfax itself may stand before or after the subcommand.
  app.fallthrough();
  app.set_version_flag("--version", "qvfax " QVFAX_VERSION);
  app.footer(
      "Exit status: 0 delivered (every page confirmed), 1 busy, 2 usage or configuration, 3 no answer or no fax\n"
      "machine answered, 4 a document that cannot be sent, 5 a line or protocol failure, 6 cancelled,\n"
      "7 qvfaxd unreachable, 8 no modem or its port would not open, 9 this host failed it (no space\n"
      "left, no permission).");
  Common common;
  common.socket = DefaultSocketPath();
  app.add_option("--socket", common.socket, "qvfaxd's socket; without a daemon qvfax serves itself")
      ->capture_default_str();
  app.add_flag("--json", common.json, "One JSON object per result or event");
  app.add_flag("--in-process", common.in_process, "Serve the fax server in this process even when qvfaxd runs");
  app.add_option("--timeout", common.timeout_s, "Seconds to wait for any answer of qvfaxd")
      ->check(CLI::Range(0.1, 3600.0))
      ->capture_default_str();
  qvfax::AddEngineOptions(app, common.engine);

  std::string modems_port;
  auto* modems = app.add_subcommand("modems", "Detect the fax modems");
  modems->add_option("--port", modems_port, "Test this port first");

  SendOptions send;
  auto* send_cmd = app.add_subcommand("send", "Send a fax");
  send_cmd->add_option("number", send.number, "Number to dial")->required();
  send_cmd->add_option("files", send.files, "Documents, sent in order: PDF, PostScript, TIFF, PNG, JPEG or plain text")->required();
  send_cmd->add_option("--port", send.port, "Modem port to use (default: the first found)");
  send_cmd->add_option("--resolution", send.resolution, "standard (98 rows an inch), fine (196) or superfine (391)")
      ->check(CLI::IsMember({"standard", "fine", "superfine"}))
      ->capture_default_str();
  send_cmd->add_option("--paper", send.paper, "Paper the documents are laid out on: a4, letter or legal")
      ->check(CLI::IsMember({"a4", "letter", "legal"}))
      ->capture_default_str();
  send_cmd->add_option("--ecm", send.ecm, "Error correction: on or off")
      ->check(CLI::IsMember({"on", "off"}))
      ->capture_default_str();
  send_cmd->add_option("--header", send.header, "Print this header on every page");
  send_cmd->add_option("--local-id", send.local_id, "Our station id");
  send_cmd->add_flag("--cover", send.cover, "Send a cover page first (to, from, date, pages, subject, comment)");
  send_cmd->add_option("--cover-to", send.cover_to, "The cover page's To (default: the number)");
  send_cmd->add_option("--cover-from", send.cover_from, "The cover page's From (default: --local-id, or your user name)");
  send_cmd->add_option("--subject", send.subject, "The cover page's subject");
  send_cmd->add_option("--comment", send.comment, "The cover page's comment");
  send_cmd->add_option("--cover-template", send.cover_template,
                       "A PostScript cover page template (default: ~/.config/qvfax/cover.ps, else the built-in)")
      ->check(CLI::ExistingFile);

  // submit takes what send takes, and leaves the sending to qvfaxd's queue.
  SendOptions queued;
  QueueTimes times;
  auto* submit = app.add_subcommand("submit", "Queue a fax in qvfaxd and return at once");
  std::vector<std::string> recipients;
  submit->add_option("number", queued.number, "Number to dial (a comma in it is a dial pause); with -d, a document");
  submit->add_option("files", queued.files, "Documents, sent in order: PDF, PostScript, TIFF, PNG, JPEG or plain text");
  submit->add_option("-d,--to", recipients, "A recipient's number; repeat it for several, one job each, and give only documents")
      ->allow_extra_args(false);
  submit->add_option("--at", times.at, "Not before this time: HH:MM (today), YYYY-MM-DD HH:MM, or now+N with m, h or d (now+90m)");
  submit->add_option("--kill-time", times.kill_time, "No try starts after this time (as --at takes it); the job then fails");
  submit->add_option("--retries", times.retries, "Tries after the first when the line is busy, unanswered or fails")
      ->check(CLI::Range(0, 99))
      ->capture_default_str();
  for (auto* option : send_cmd->get_options()) {
    const std::string name = option->get_name();
    if (name == "--resolution") submit->add_option(name, queued.resolution, option->get_description())->check(CLI::IsMember({"standard", "fine", "superfine"}));
    if (name == "--paper") submit->add_option(name, queued.paper, option->get_description())->check(CLI::IsMember({"a4", "letter", "legal"}));
    if (name == "--ecm") submit->add_option(name, queued.ecm, option->get_description())->check(CLI::IsMember({"on", "off"}));
    if (name == "--header") submit->add_option(name, queued.header, option->get_description());
    if (name == "--local-id") submit->add_option(name, queued.local_id, option->get_description());
    if (name == "--cover") submit->add_flag(name, queued.cover, option->get_description());
    if (name == "--cover-to") submit->add_option(name, queued.cover_to, option->get_description());
    if (name == "--cover-from") submit->add_option(name, queued.cover_from, option->get_description());
    if (name == "--subject") submit->add_option(name, queued.subject, option->get_description());
    if (name == "--comment") submit->add_option(name, queued.comment, option->get_description());
    if (name == "--cover-template") submit->add_option(name, queued.cover_template, option->get_description())->check(CLI::ExistingFile);
  }
  auto* jobs = app.add_subcommand("jobs", "List the jobs of qvfaxd's queue");
  int64_t job = 0;
  auto* rm = app.add_subcommand("rm", "Cancel a queued or running job");
  rm->add_option("job", job, "Job number")->required()->check(CLI::PositiveNumber);
  auto* wait = app.add_subcommand("wait", "Wait for a job to end; exits as qvfax send would");
  wait->add_option("job", job, "Job number")->required()->check(CLI::PositiveNumber);
  int limit = 50;
  auto* history = app.add_subcommand("history", "Jobs that have ended, newest first, or one job's attempts");
  history->add_option("job", job, "Show this job's attempts")->check(CLI::PositiveNumber);
  history->add_option("--limit", limit, "How many jobs")->check(CLI::Range(1, 10000))->capture_default_str();

  InboxRequest inbox_request;
  auto* inbox = app.add_subcommand("inbox", "The faxes qvfaxd received, newest first");
  inbox->add_option("--limit", inbox_request.limit, "How many faxes")->check(CLI::Range(1, 10000))->capture_default_str();
  auto* inbox_show = inbox->add_subcommand("show", "One fax: who sent it, its pages and its file");
  inbox_show->add_option("fax", inbox_request.fax, "Fax number")->required()->check(CLI::PositiveNumber);
  auto* inbox_pdf = inbox->add_subcommand("pdf", "Write a fax's pages as a PDF");
  inbox_pdf->add_option("fax", inbox_request.fax, "Fax number")->required()->check(CLI::PositiveNumber);
  inbox_pdf->add_option("pdf", inbox_request.document, "The PDF to write")->required();
  auto* inbox_rm = inbox->add_subcommand("rm", "Remove a fax and its file");
  inbox_rm->add_option("fax", inbox_request.fax, "Fax number")->required()->check(CLI::PositiveNumber);
  auto* answer = app.add_subcommand(
      "answer", "Answer a call on a port; on the line engine its virtual remote calls and sends DOCUMENT, to try receiving");
  answer->add_option("port", inbox_request.port, "The port that rings")->required();
  answer->add_option("document", inbox_request.document, "What the virtual remote sends (a fax TIFF)")
      ->required()
      ->check(CLI::ExistingFile);
  answer->add_option("--from", inbox_request.from, "The caller's number, as caller ID gives it");
  answer->add_option("--name", inbox_request.name, "The caller's name, as caller ID gives it");

  // status, log and cancel act on the faxes sent from this terminal session
  // unless told otherwise.
  Selection which;
  auto add_selection = [&which](CLI::App* command) {
    auto* fax = command->add_option("--fax", which.fax, "Only this fax (its number as qvfax send shows it)")
                    ->check(CLI::PositiveNumber);
    command->add_flag("--all", which.all, "Every fax of the daemon")->excludes(fax);
  };
  bool xml = false;
  auto* status = app.add_subcommand("status", "Show what your faxes are doing");
  status->add_flag("--xml", xml, "The whole status document");
  add_selection(status);
  bool follow = false;
  auto* log = app.add_subcommand("log", "Show the log of your faxes");
  log->add_flag("--follow,-f", follow, "Keep showing new lines");
  add_selection(log);
  auto* cancel = app.add_subcommand("cancel", "Cancel your faxes in qvfaxd");
  add_selection(cancel);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int shown = app.exit(e);
    return shown == 0 ? 0 : static_cast<int>(Exit::kUsage);
  }
  common.engine_given = app.count("--engine") + app.count("--engine-config") + app.count("--line-speed") > 0;
  try {
    if (modems->parsed()) return Modems(common, modems_port);
    if (send_cmd->parsed()) return Send(common, send);
    if (status->parsed()) return Status(common, which, xml);
    if (log->parsed()) return Log(common, which, follow);
    if (cancel->parsed()) return Cancel(common, which);
    if (submit->parsed()) {
      // With -d every argument is a document; without, the first is the one number.
      if (!recipients.empty() && !queued.number.empty()) queued.files.insert(queued.files.begin(), queued.number);
      if (recipients.empty() && !queued.number.empty()) recipients.push_back(queued.number);
      if (recipients.empty() || queued.files.empty()) {
        return Report(common, Exit::kUsage, "submit needs a number (or -d NUMBER, repeated) and at least one document",
                      0, "");
      }
      return Submit(common, queued, recipients, times);
    }
    if (jobs->parsed()) return Jobs(common);
    if (rm->parsed()) return Remove(common, job);
    if (wait->parsed()) return Wait(common, job);
    if (history->parsed()) return History(common, job, limit);
    if (inbox->parsed()) {
      inbox_request.action = inbox_show->parsed() ? "show" : inbox_rm->parsed() ? "rm" : inbox_pdf->parsed() ? "pdf" : "list";
      return Inbox(common, inbox_request);
    }
    if (answer->parsed()) {
      inbox_request.action = "answer";
      return Inbox(common, inbox_request);
    }
  } catch (...) {
    return ReportError(common, std::current_exception());
  }
  return 2;
}
