// The qvfax commands. Each returns the process exit code.
#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "queue/outcome.h"
#include "engines/engine_choice.h"

namespace qvfax::cli {

using queue::Exit;
using queue::ExitForError;
using queue::ExitForStatus;

struct Common {
  std::string socket;
  EngineChoice engine;
  bool engine_given = false;  // an engine option was on the command line
  bool in_process = false;    // serve the object model here even when qvfaxd runs
  double timeout_s = 30;      // the longest wait for any answer of qvfaxd
  bool json = false;
};

// Which of the daemon's faxes a command acts on: the caller's own (those
// sent from its terminal session) unless a fax or all are named.
struct Selection {
  int64_t fax = 0;
  bool all = false;
};

struct SendOptions {
  std::string number;
  std::vector<std::string> files;
  std::string port;
  std::string resolution = "fine";  // standard, fine or superfine
  std::string paper = "a4";         // a4, letter or legal
  std::string ecm = "on";
  std::string header;
  std::string local_id;
  // A cover page first: its fields, and a template of the user's ("" for
  // ~/.config/qvfax/cover.ps when there is one, else the built-in).
  bool cover = false;
  std::string cover_to, cover_from, subject, comment, cover_template;
};

// The "cover" parameter of prepare and submit for `options`, or null.
nlohmann::json CoverParam(const SendOptions& options);

// The fax a virtual remote received from a send to `number` begun at `since`,
// in the engine's inbox (RemotesInbox), if any.
std::string ReceivedFaxOf(const std::string& inbox, const std::string& number,
                          std::filesystem::file_time_type since);

int Modems(const Common& common, const std::string& port);
int Send(const Common& common, const SendOptions& options);
int Status(const Common& common, const Selection& which, bool xml);
int Log(const Common& common, const Selection& which, bool follow);
int Cancel(const Common& common, const Selection& which);

// The queue of qvfaxd.
// Queues the documents once for each number in `recipients`: one job each,
// each with its own outcome. Exits with the first failure's status.
struct QueueTimes {
  std::string at;         // not before this time (as --at takes it), "" for now
  std::string kill_time;  // no try starts after this time, "" for none
  int retries = 2;
};
int Submit(const Common& common, const SendOptions& options, const std::vector<std::string>& recipients,
           const QueueTimes& times);
int Jobs(const Common& common);
int Remove(const Common& common, int64_t job);
int Wait(const Common& common, int64_t job);
int History(const Common& common, int64_t job, int limit);
// The inbox of qvfaxd: "list", "show", "pdf" (into `document`) or "rm" a
// fax, or "answer" a call on a port (the line engine's virtual remote calling
// from `from` with `document`).
struct InboxRequest {
  std::string action = "list";
  int64_t fax = 0;
  int limit = 100;
  std::string port, from, name, document;
};
int Inbox(const Common& common, const InboxRequest& request);

// A time given to --at, as HH:MM (today) or YYYY-MM-DD HH:MM, in ms since 1970.
std::optional<int64_t> ParseWhen(const std::string& text, int64_t now_ms);

// Reports an error a command caught, with the exit status of its kind.
int ReportError(const Common& common, std::exception_ptr error);

// Prints a failure as one line (or one JSON object) and returns `exit` as the
// exit status; `reason`, the engine's own words for it, closes the line.
int Report(const Common& common, Exit exit, const std::string& what, int code, const std::string& description,
           const std::string& reason = {});

}  // namespace qvfax::cli
