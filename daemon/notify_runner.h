// The notify command qvfaxd runs when a job ends, kept on a leash: at most a
// few at once (the rest wait their turn), each ended after its time limit,
// all ended with the daemon, and what they print goes to the journal.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qvfax::daemon {

struct NotifyLimits {
  std::chrono::milliseconds timeout{60000};  // then the command's process group is ended
  size_t at_once = 4;                        // commands running at the same time
  size_t waiting = 1000;                     // more than these waiting are dropped, with a journal line
  std::string label = "notify job";          // names a run in the journal, before its first argument
};

class NotifyRunner {
 public:
  // `journal` hears each line the commands print and what happened to them.
  NotifyRunner(std::string command, NotifyLimits limits,
               std::function<void(const std::string&)> journal = {});
  // Ends every command still running (SIGTERM, then SIGKILL) and drops those waiting.
  ~NotifyRunner();
  NotifyRunner(const NotifyRunner&) = delete;
  NotifyRunner& operator=(const NotifyRunner&) = delete;

  // Runs the command with `arguments`, without a shell, now or when a turn
  // comes; with `input`, the command reads that file on its standard input,
  // and the file is removed once the command has ended (or was not run).
  // The journal names the run by `name`, or else by its first argument.
  void Run(std::vector<std::string> arguments, std::string input = {}, std::string name = {});
  size_t Running() const;
  size_t Waiting() const;

 private:
  struct Impl;
  std::shared_ptr<Impl> impl_;
};

}  // namespace qvfax::daemon
