// A qvfaxd process for tests: started on a temporary socket with its own
// runtime, state and configuration folders, stopped with SIGTERM.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace qvfax::testing {

class DaemonProcess {
 public:
  // On the sim engine unless `extra_args` name another with --engine.
  // `before_start` may ready its folder (mount a small disk on the state folder).
  explicit DaemonProcess(double line_speed = 100, std::vector<std::string> extra_args = {},
                         const std::function<void(const std::string& folder)>& before_start = {});
  ~DaemonProcess();

  const std::string& socket() const { return socket_; }
  const std::string& folder() const { return folder_; }
  std::string StateFolder() const { return folder_ + "/state"; }
  // Sends SIGTERM and returns the exit status (-1 when it did not exit normally).
  int Stop();
  bool Running() const { return pid_ > 0; }
  // Kills it with SIGKILL, as a crash would, and waits for it.
  void Kill();
  // Starts it again on the same socket and folders, with the same options.
  void Restart();
  pid_t pid() const { return pid_; }
  // What it wrote on stderr after its first line.
  std::string Journal() const;

 private:
  void Spawn();
  std::string JournalPath() const { return folder_ + "/qvfaxd.stderr"; }

  std::vector<std::string> args_, env_;
  std::string folder_;
  std::string socket_;
  pid_t pid_ = -1;
};

// The whole text of the daemon's log files.
std::string ReadLogs(const std::string& state_folder);

}  // namespace qvfax::testing
