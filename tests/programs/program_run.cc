#include "program_run.h"

#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tiff_maker.h"

extern char** environ;

namespace qvfax::testing {

ProgramRun::ProgramRun(std::vector<std::string> args, const RunOptions& options) {
  static int runs = 0;
  err_path_ = ScratchPath("program-" + std::to_string(::getpid()) + "-" + std::to_string(++runs) + ".err");
  std::vector<std::string> env_strings;
  for (char** e = environ; *e; ++e) {
    env_strings.push_back(*e);
  }
  std::vector<char*> argv, envp;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& e : env_strings) envp.push_back(e.data());
  envp.push_back(nullptr);

  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (!options.folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, options.folder.c_str());
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  if (options.new_session) posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  const int spawned = posix_spawn(&pid_, argv[0], &actions, &attributes, argv.data(), envp.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipe_fds[1]);
  out_fd_ = pipe_fds[0];
  if (spawned != 0) {
    pid_ = -1;
    throw std::runtime_error("cannot start " + args[0]);
  }
}

ProgramRun::~ProgramRun() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (out_fd_ >= 0) ::close(out_fd_);
}

bool ProgramRun::WaitForOutput(const std::string& text) {
  char buffer[4096];
  while (out_.find(text) == std::string::npos) {
    const ssize_t n = ::read(out_fd_, buffer, sizeof buffer);
    if (n <= 0) return false;
    out_.append(buffer, static_cast<size_t>(n));
  }
  return true;
}

int ProgramRun::Wait() {
  if (pid_ <= 0) return status_;
  WaitForOutput(std::string(1, '\0'));  // reads to the end of its output
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream in(err_path_);
  std::stringstream text;
  text << in.rdbuf();
  err_ = text.str();
  return status_;
}

Finished RunToEnd(std::vector<std::string> args, const RunOptions& options) {
  ProgramRun run(std::move(args), options);
  const int exit = run.Wait();
  return {exit, run.out(), run.err()};
}

std::vector<std::string> QvfaxOn(const std::string& socket, std::vector<std::string> args) {
  std::vector<std::string> all = {QVFAX_PATH, "--socket", socket};
  all.insert(all.end(), args.begin(), args.end());
  return all;
}

SmallDisk::~SmallDisk() {
  if (!path_.empty()) ::umount2(path_.c_str(), MNT_DETACH);
}

bool SmallDisk::Mount(const std::string& path, const std::string& size) {
  if (::mount("tmpfs", path.c_str(), "tmpfs", 0, ("size=" + size + ",mode=0700").c_str()) != 0) return false;
  path_ = path;
  return true;
}

}  // namespace qvfax::testing
