#include "daemon_process.h"

#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace qvfax::testing {

DaemonProcess::DaemonProcess(double line_speed, std::vector<std::string> extra_args,
                             const std::function<void(const std::string& folder)>& before_start) {
  std::string base = (std::filesystem::temp_directory_path() / "qvfaxd-test-XXXXXX").string();
  if (!mkdtemp(base.data())) throw std::runtime_error("mkdtemp failed");
  folder_ = base;
  socket_ = folder_ + "/qvfaxd.sock";
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    if (entry.rfind("XDG_", 0) != 0) env_.push_back(entry);
  }
  for (const char* var : {"XDG_RUNTIME_DIR=/run", "XDG_STATE_HOME=/state", "XDG_CONFIG_HOME=/config"}) {
    const std::string text = var;
    const auto eq = text.find('=');
    std::filesystem::create_directories(folder_ + text.substr(eq + 1));
    env_.push_back(text.substr(0, eq + 1) + folder_ + text.substr(eq + 1));
  }
  args_ = {QVFAXD_PATH, "--socket", socket_, "--line-speed", std::to_string(line_speed)};
  // The sim engine unless the test names one.
  if (std::find(extra_args.begin(), extra_args.end(), "--engine") == extra_args.end()) {
    args_.insert(args_.end(), {"--engine", "sim"});
  }
  args_.insert(args_.end(), extra_args.begin(), extra_args.end());
  if (before_start) before_start(folder_);
  Spawn();
}

void DaemonProcess::Spawn() {
  std::vector<char*> argv, envp;
  for (auto& a : args_) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& e : env_) envp.push_back(e.data());
  envp.push_back(nullptr);
  // The daemon says on stderr when it listens; read up to that line.
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
  const int spawned = posix_spawn(&pid_, QVFAXD_PATH, &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipe_fds[1]);
  if (spawned != 0) {
    ::close(pipe_fds[0]);
    throw std::runtime_error("cannot start qvfaxd");
  }
  std::string said;
  char c;
  while (said.find("listening on") == std::string::npos && ::read(pipe_fds[0], &c, 1) == 1) said.push_back(c);
  // Keep draining the daemon's stderr, into a file, so it never blocks on a full pipe.
  std::thread([fd = pipe_fds[0], journal = JournalPath()] {
    std::ofstream out(journal, std::ios::app);
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) out.write(buffer, n).flush();
    ::close(fd);
  }).detach();
  if (said.find("listening on") == std::string::npos) throw std::runtime_error("qvfaxd did not start: " + said);
}

void DaemonProcess::Kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

void DaemonProcess::Restart() {
  Stop();
  Spawn();
}

int DaemonProcess::Stop() {
  if (pid_ <= 0) return -1;
  ::kill(pid_, SIGTERM);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

DaemonProcess::~DaemonProcess() {
  Stop();
  std::error_code ec;
  std::filesystem::remove_all(folder_, ec);
}

std::string DaemonProcess::Journal() const {
  std::ifstream in(JournalPath());
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string ReadLogs(const std::string& state_folder) {
  std::string all;
  std::error_code ec;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(state_folder, ec)) {
    if (entry.path().extension() != ".log") continue;
    std::ifstream in(entry.path());
    std::stringstream text;
    text << in.rdbuf();
    all += text.str();
  }
  return all;
}

}  // namespace qvfax::testing
