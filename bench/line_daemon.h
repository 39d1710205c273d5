// A qvfaxd for benchmarks: the line engine at line speed 0 on `socket`,
// started and waited for until it answers; stop it with SIGTERM.
#pragma once

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "rpc/client.h"

extern char** environ;

namespace qvfax::bench {

inline pid_t StartLineDaemon(const std::string& socket, const std::vector<std::string>& extra = {}) {
  std::vector<std::string> args = {QVFAXD_PATH, "--socket", socket, "--engine", "line", "--line-speed", "0"};
  args.insert(args.end(), extra.begin(), extra.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  // Gone with the bench: a bench that aborts leaves no daemon behind.
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    ::execve(QVFAXD_PATH, argv.data(), environ);
    ::_exit(127);
  }
  if (pid < 0) throw std::runtime_error("no qvfaxd");
  for (int tries = 0; tries < 1000; ++tries) {
    try {
      rpc::ConnectUnixSocket(socket);
      return pid;
    } catch (const std::runtime_error&) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  throw std::runtime_error("qvfaxd did not start");
}

}  // namespace qvfax::bench
