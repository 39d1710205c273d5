// A confined program started once and kept: each run is a fork of it,
// confined exactly as a program started cold is, so a run costs a fork
// instead of an exec and the loading of the program's libraries. The server
// itself never reads a document; only its forks do.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "documents/confined_process.h"

namespace qvfax::documents {

// The caller's side. Safe to use from several threads at once.
class ForkServer {
 public:
  ForkServer() = default;
  ~ForkServer();
  ForkServer(const ForkServer&) = delete;
  ForkServer& operator=(const ForkServer&) = delete;

  // As RunConfined, with args[0] a program that serves forks (it is started
  // with --serve-forks the first time, and again when it has gone or a
  // different program is asked for). nullopt when no server can be had:
  // the caller then starts the program cold.
  std::optional<ConfinedResult> Run(const std::vector<std::string>& args, const Confinement& confinement);

 private:
  // One run; `server` is the server it was sent to. A result that neither
  // exited nor was signalled lost its server.
  std::optional<ConfinedResult> RunOnce(const std::vector<std::string>& args, const Confinement& confinement,
                                        std::chrono::steady_clock::time_point deadline, pid_t& server);
  bool StartLocked(const std::string& program);
  void StopLocked();

  std::mutex mutex_;
  std::string program_;
  pid_t pid_ = -1;
  int control_ = -1;
};

// The program's side of --serve-forks: serves the requests arriving on
// `control` until it closes. Each run's fork confines itself and returns
// `main(args)` as its exit status.
int ServeForks(int control, const std::function<int(const std::vector<std::string>&)>& main);

}  // namespace qvfax::documents
