// One server object driven from the command line: it follows the activity
// through the sink, so each step waits for the work it started.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "queue/outcome.h"
#include "rpc/client.h"

namespace qvfax::cli {

// A failure to report: one line with the code and its description, and the
// exit status when the code alone does not tell it.
class Failure : public std::runtime_error {
 public:
  Failure(const std::string& what, int32_t code, const std::string& description, std::string reason = {},
          std::optional<queue::Exit> exit = std::nullopt);
  int32_t code() const { return code_; }
  queue::Exit exit() const { return exit_ ? *exit_ : queue::ExitForError(code_); }
  const std::string& description() const { return description_; }
  const std::string& reason() const { return reason_; }  // the engine's own words, or ""

 private:
  int32_t code_;
  std::string description_;
  std::string reason_;
  std::optional<queue::Exit> exit_;
};

struct ModemSummary {
  std::string port, identity, description;
  int32_t classes = 0;
};

class FaxSession {
 public:
  explicit FaxSession(rpc::Client& client);
  ~FaxSession();  // Termina, then release; errors are ignored there

  rpc::Client& client() { return client_; }
  int64_t server() const { return server_; }
  int64_t fax() const { return fax_; }  // the daemon's name for this fax

  std::vector<ModemSummary> Detect(const std::string& preferred_port);
  // Selects and opens; throws Failure when the port does not open.
  void Open(const std::string& port);
  void Close();
  // The engine's own words for what went wrong last (the line's status text
  // while it is not "Idle"), or "".
  std::string EngineReason();
  // Calls the command, then serves notifications until the activity is idle
  // again; throws Failure when the server's work stopped on an error, or when
  // the command has not ended after `kLongestCommand`.
  void RunAndWaitIdle(const std::string& command);
  // Throws Failure when the server told of work that stopped on an error (a
  // full disk under its log, say): the end that work was heading for will not come.
  void ThrowIfStopped() const;
  // Serves notifications for up to `ms`; `tick` runs after each wait.
  void Serve(int ms);

  bool send_ended = false;
  int32_t activity = 0;

 private:
  rpc::Client& client_;
  int64_t server_ = 0;
  int64_t fax_ = 0;
  bool idle_seen_ = false;
  std::optional<std::pair<int32_t, std::string>> fault_;  // the error that stopped the server's work
};

// The longest any port command (detection, opening, closing) may take before
// the command line stops waiting for it: every engine's own timeouts end well within.
inline constexpr std::chrono::minutes kLongestCommand{10};

std::string ClassList(int32_t classes);

}  // namespace qvfax::cli
