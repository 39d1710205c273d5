#include "daemon/notify_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <iostream>
#include <mutex>
#include <set>
#include <thread>

#include <fmt/format.h>

extern char** environ;

namespace qvfax::daemon {

struct NotifyRunner::Impl : std::enable_shared_from_this<Impl> {
  std::string command;
  NotifyLimits limits;
  std::function<void(const std::string&)> journal;

  mutable std::mutex mutex;
  std::condition_variable changed;
  struct Pending {
    std::vector<std::string> arguments;
    std::string input;
    std::string name;
  };
  std::deque<Pending> waiting;
  std::set<pid_t> running;  // process groups, by their leader
  size_t watching = 0;      // watcher threads not yet done
  bool stopping = false;

  void Say(const std::string& line) {
    if (journal) {
      journal(line);
    } else {
      std::cerr << line << "\n";
    }
  }

  // Starts waiting commands while there is room; called with the lock held.
  void StartWhatFits() {
    while (!stopping && !waiting.empty() && running.size() < limits.at_once) {
      auto next = std::move(waiting.front());
      waiting.pop_front();
      Start(std::move(next.arguments), std::move(next.input), std::move(next.name));
    }
  }

  static void Forget(const std::string& input) {
    if (!input.empty()) ::unlink(input.c_str());
  }

  void Start(std::vector<std::string> arguments, std::string input, std::string name) {
    std::vector<std::string> args{command};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
      Say("qvfaxd: cannot run the command " + command + ": no pipe");
      Forget(input);
      return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
    if (!input.empty()) posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, input.c_str(), O_RDONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // A group of its own, so what it starts ends with it.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t pid = 0;
    const int failed = posix_spawnp(&pid, command.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(out[1]);
    if (failed != 0) {
      ::close(out[0]);
      Say("qvfaxd: cannot run the command " + command);
      Forget(input);
      return;
    }
    running.insert(pid);
    ++watching;
    std::thread([self = shared_from_this(), pid, fd = out[0], job = std::move(name), input] {
      self->Watch(pid, fd, job);
      Forget(input);
    }).detach();
  }

  // Copies the command's output to the journal until it ends, its time is up
  // or the daemon stops; then reaps it, ending its process group when it must.
  void Watch(pid_t pid, int fd, const std::string& job) {
    const auto deadline = std::chrono::steady_clock::now() + limits.timeout;
    std::string pending;
    bool open = true, reaped = false, timed_out = false, stop = false;
    while (!reaped) {
      {
        std::lock_guard lock(mutex);
        stop = stopping;
      }
      timed_out = std::chrono::steady_clock::now() >= deadline;
      if (stop || timed_out) break;
      if (!open) {
        reaped = ::waitpid(pid, nullptr, WNOHANG) == pid;
        if (!reaped) ::poll(nullptr, 0, 50);
        continue;
      }
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 200) <= 0) continue;
      char buffer[1024];
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n <= 0) {
        open = false;  // it closed its output: it has ended, or soon will
        continue;
      }
      pending.append(buffer, static_cast<size_t>(n));
      for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
        Say(fmt::format("qvfaxd: {} {}: {}", limits.label, job, pending.substr(0, end)));
      }
    }
    if (!pending.empty()) Say(fmt::format("qvfaxd: {} {}: {}", limits.label, job, pending));
    ::close(fd);
    if (!reaped) {
      if (timed_out && !stop) {
        Say(fmt::format("qvfaxd: the command for {} {} ran past {} s and was ended", limits.label, job,
                        std::chrono::duration<double>(limits.timeout).count()));
      }
      EndGroup(pid);
    }
    std::lock_guard lock(mutex);
    running.erase(pid);
    --watching;
    StartWhatFits();
    changed.notify_all();
  }

  // SIGTERM to the group, two seconds to go, then SIGKILL.
  static void EndGroup(pid_t pid) {
    ::kill(-pid, SIGTERM);
    for (int i = 0; i < 40; ++i) {
      if (::waitpid(pid, nullptr, WNOHANG) == pid) {
        ::kill(-pid, SIGKILL);  // what it left behind in its group
        return;
      }
      ::poll(nullptr, 0, 50);
    }
    ::kill(-pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
  }
};

NotifyRunner::NotifyRunner(std::string command, NotifyLimits limits, std::function<void(const std::string&)> journal)
    : impl_(std::make_shared<Impl>()) {
  impl_->command = std::move(command);
  impl_->limits = limits;
  impl_->journal = std::move(journal);
}

NotifyRunner::~NotifyRunner() {
  std::unique_lock lock(impl_->mutex);
  impl_->stopping = true;
  if (!impl_->waiting.empty()) {
    impl_->Say(fmt::format("qvfaxd: {} notify command{} not run: qvfaxd is stopping", impl_->waiting.size(),
                           impl_->waiting.size() == 1 ? "" : "s"));
  }
  for (const auto& pending : impl_->waiting) Impl::Forget(pending.input);
  impl_->waiting.clear();
  // Each watcher ends its command within a few seconds of seeing the stop.
  impl_->changed.wait_for(lock, std::chrono::seconds(30), [&] { return impl_->watching == 0; });
}

void NotifyRunner::Run(std::vector<std::string> arguments, std::string input, std::string name) {
  if (name.empty() && !arguments.empty()) name = arguments[0];
  std::lock_guard lock(impl_->mutex);
  if (impl_->stopping) return Impl::Forget(input);
  if (impl_->waiting.size() >= impl_->limits.waiting) {
    impl_->Say(fmt::format("qvfaxd: too many commands waiting; {} {} is not run", impl_->limits.label, name));
    return Impl::Forget(input);
  }
  impl_->waiting.push_back({std::move(arguments), std::move(input), std::move(name)});
  impl_->StartWhatFits();
}

size_t NotifyRunner::Running() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->running.size();
}

size_t NotifyRunner::Waiting() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->waiting.size();
}

}  // namespace qvfax::daemon
