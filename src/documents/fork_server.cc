#include "documents/fork_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>

#include <nlohmann/json.hpp>

#include "documents/confined_launch.h"

// The protocol, over a SOCK_SEQPACKET pair between the caller and the server:
//  - the caller sends one message a run: the run's plan as JSON, with three
//    descriptors: the write ends of its output and its errors, and its end
//    of a socket pair of the run's own ("the call");
//  - on the call, the server sends the run's wait status (an int) when it has
//    ended, then closes it; the caller sends "k" to have it stopped at once,
//    and a call the caller closes stops its run too.
// The server says "r" on the control socket when it is ready.

namespace qvfax::documents {

namespace {

using json = nlohmann::json;

constexpr size_t kLargestRequest = 1 << 20;
constexpr auto kReadyWithin = std::chrono::seconds(10);
constexpr auto kStatusWithin = std::chrono::seconds(10);

json PlanToJson(const LaunchPlan& plan, const std::vector<std::string>& args) {
  json rules = json::array();
  for (const auto& rule : plan.rules) rules.push_back({rule.path, rule.access});
  return {{"args", args},
          {"env", plan.env},
          {"rules", rules},
          {"landlock", plan.landlock_version},
          {"limits", {plan.address_space, plan.cpu_seconds, plan.file_size}},
          {"program", plan.program}};
}

LaunchPlan PlanFromJson(const json& request) {
  LaunchPlan plan;
  plan.program = request.at("program").get<std::string>();
  plan.env = request.at("env").get<std::vector<std::string>>();
  for (const auto& rule : request.at("rules")) plan.rules.push_back({rule.at(0), rule.at(1)});
  plan.landlock_version = request.at("landlock").get<int>();
  const auto& limits = request.at("limits");
  plan.address_space = limits.at(0);
  plan.cpu_seconds = limits.at(1);
  plan.file_size = limits.at(2);
  return plan;
}

bool SendWithDescriptors(int socket, const std::string& text, const int* fds, size_t count) {
  iovec io{const_cast<char*>(text.data()), text.size()};
  alignas(cmsghdr) char control[CMSG_SPACE(3 * sizeof(int))] = {};
  msghdr message{};
  message.msg_iov = &io;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = CMSG_SPACE(count * sizeof(int));
  cmsghdr* header = CMSG_FIRSTHDR(&message);
  header->cmsg_level = SOL_SOCKET;
  header->cmsg_type = SCM_RIGHTS;
  header->cmsg_len = CMSG_LEN(count * sizeof(int));
  std::memcpy(CMSG_DATA(header), fds, count * sizeof(int));
  return ::sendmsg(socket, &message, MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
}

// Waits for `fd` to be readable, at most `within`.
bool Readable(int fd, std::chrono::milliseconds within) {
  pollfd p{fd, POLLIN, 0};
  int ready;
  do ready = ::poll(&p, 1, static_cast<int>(within.count()));
  while (ready < 0 && errno == EINTR);
  return ready > 0;
}

void CloseAll(std::initializer_list<int> fds) {
  for (int fd : fds) {
    if (fd >= 0) ::close(fd);
  }
}

}  // namespace

ForkServer::~ForkServer() {
  std::lock_guard lock(mutex_);
  StopLocked();
}

void ForkServer::StopLocked() {
  if (control_ >= 0) ::close(control_);
  control_ = -1;
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  pid_ = -1;
  program_.clear();
}

bool ForkServer::StartLocked(const std::string& program) {
  StopLocked();
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) return false;
  std::string program_copy = program, flag = "--serve-forks";
  char* argv[] = {program_copy.data(), flag.data(), nullptr};
  // The server's environment is as clean as its runs' (each run sets its own).
  std::string path = "PATH=/usr/bin:/bin", locale = "LC_ALL=C";
  char* envp[] = {path.data(), locale.data(), nullptr};
  const pid_t pid = ::fork();
  // Not tied to this thread's life (a death signal would be): the server
  // ends when the last of this process's hold on the control socket does.
  if (pid == 0) {  // between fork and exec: system calls only
    ::dup2(pair[1], STDIN_FILENO);
    const int null_fd = ::open("/dev/null", O_WRONLY);
    if (null_fd >= 0) ::dup2(null_fd, STDOUT_FILENO);
    ::close_range(3, ~0U, 0);  // it outlives calls: it must hold no port or socket of ours
    ::execve(argv[0], argv, envp);
    ::_exit(127);
  }
  ::close(pair[1]);
  if (pid < 0) {
    ::close(pair[0]);
    return false;
  }
  pid_ = pid;
  control_ = pair[0];
  char ready = 0;
  // A program that does not serve forks ends, or says something else.
  if (!Readable(control_, kReadyWithin) || ::recv(control_, &ready, 1, 0) != 1 || ready != 'r') {
    StopLocked();
    return false;
  }
  program_ = program;
  return true;
}

std::optional<ConfinedResult> ForkServer::Run(const std::vector<std::string>& args, const Confinement& confinement) {
  const auto deadline = std::chrono::steady_clock::now() + confinement.time;
  // A server lost under a run (it was killed, or went as the request reached
  // it) took the run with it: the run is made again once on a new server.
  for (int attempt = 1;; ++attempt) {
    pid_t server = -1;
    auto result = RunOnce(args, confinement, deadline, server);
    if (!result || result->exit_status >= 0 || result->signal != 0 || result->timed_out || attempt == 2) {
      if (result && result->exit_status < 0 && result->signal == 0) result->signal = SIGKILL;
      return result;
    }
    std::lock_guard lock(mutex_);
    if (pid_ == server) StopLocked();
  }
}

std::optional<ConfinedResult> ForkServer::RunOnce(const std::vector<std::string>& args, const Confinement& confinement,
                                                  std::chrono::steady_clock::time_point deadline, pid_t& server) {
  const auto plan = PlanLaunch(args.at(0), confinement);
  if (!plan) return ConfinedResult{};  // not there: as a cold start finds it
  int out[2] = {-1, -1}, err[2] = {-1, -1}, call[2] = {-1, -1};
  const auto abandon = [&]() -> std::optional<ConfinedResult> {
    CloseAll({out[0], out[1], err[0], err[1], call[0], call[1]});
    std::error_code ec;
    std::filesystem::remove_all(plan->temp, ec);
    return std::nullopt;
  };
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0 ||
      ::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, call) != 0) {
    return abandon();
  }
  const std::string request = PlanToJson(*plan, args).dump();
  const int given[3] = {out[1], err[1], call[1]};
  {
    std::lock_guard lock(mutex_);
    const bool running = control_ >= 0 && program_ == plan->program;
    // A server that has gone is started again, once.
    if (!(running && SendWithDescriptors(control_, request, given, 3)) &&
        !(StartLocked(plan->program) && SendWithDescriptors(control_, request, given, 3))) {
      return abandon();
    }
    server = pid_;
  }
  CloseAll({out[1], err[1], call[1]});
  ConfinedResult result;
  result.started = true;
  result.timed_out = !Gather(out[0], err[0], call[0], deadline, result);
  if (result.timed_out) ::send(call[0], "k", 1, MSG_NOSIGNAL);
  int status = 0;
  // No status: the server has gone (its runs go with it).
  const bool told = Readable(call[0], kStatusWithin) && ::recv(call[0], &status, sizeof status, 0) == sizeof status;
  ::close(call[0]);
  FinishGathering(out[0], err[0], *plan, result);
  if (told) TakeStatus(status, result);
  return result;
}

namespace {

struct Serving {
  int call = -1;  // -1 once the caller has let go of it
};

[[noreturn]] void RunInFork(const LaunchPlan& plan, const std::vector<std::string>& args, int out, int err,
                            const std::function<int(const std::vector<std::string>&)>& main) {
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  ConfineSelf(plan, out, err);  // which leaves it nothing of the server's: the control socket, other runs' calls
  ::clearenv();
  for (const auto& entry : plan.env) ::putenv(const_cast<char*>(entry.c_str()));
  const int status = main(args);
  std::fflush(nullptr);
  ::_exit(status);
}

}  // namespace

int ServeForks(int control, const std::function<int(const std::vector<std::string>&)>& main) {
  sigset_t children;
  sigemptyset(&children);
  sigaddset(&children, SIGCHLD);
  ::sigprocmask(SIG_BLOCK, &children, nullptr);
  const int ended = ::signalfd(-1, &children, SFD_CLOEXEC);
  if (ended < 0 || ::send(control, "r", 1, MSG_NOSIGNAL) != 1) return 1;
  std::map<pid_t, Serving> runs;
  std::string buffer(kLargestRequest, '\0');
  bool caller_there = true;
  while (caller_there || !runs.empty()) {
    std::vector<pollfd> fds = {{caller_there ? control : -1, POLLIN, 0}, {ended, POLLIN, 0}};
    std::vector<pid_t> order;
    for (const auto& [pid, run] : runs) {
      if (run.call < 0) continue;
      fds.push_back({run.call, POLLIN, 0});
      order.push_back(pid);
    }
    if (::poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[1].revents & POLLIN) {
      signalfd_siginfo info;
      [[maybe_unused]] const ssize_t n = ::read(ended, &info, sizeof info);
      int status = 0;
      for (pid_t pid; (pid = ::waitpid(-1, &status, WNOHANG)) > 0;) {
        ::kill(-pid, SIGKILL);  // anything it left behind in its group
        const auto it = runs.find(pid);
        if (it == runs.end()) continue;
        if (it->second.call >= 0) {
          ::send(it->second.call, &status, sizeof status, MSG_NOSIGNAL);
          ::close(it->second.call);
        }
        runs.erase(it);
      }
    }
    for (size_t i = 0; i < order.size(); ++i) {
      const auto it = runs.find(order[i]);  // not when it has just been reaped
      if (it == runs.end() || !(fds[2 + i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      Serving& run = it->second;
      char said = 0;
      const ssize_t n = ::recv(run.call, &said, 1, MSG_DONTWAIT);
      if (n == 1 && said != 'k') continue;
      if (n < 0 && errno == EAGAIN) continue;
      ::kill(-order[i], SIGKILL);  // asked to stop, or its caller gone
      if (n <= 0) {
        ::close(run.call);
        run.call = -1;
      }
    }
    if (caller_there && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
      alignas(cmsghdr) char control_data[CMSG_SPACE(3 * sizeof(int))] = {};
      iovec io{buffer.data(), buffer.size()};
      msghdr message{};
      message.msg_iov = &io;
      message.msg_iovlen = 1;
      message.msg_control = control_data;
      message.msg_controllen = sizeof control_data;
      const ssize_t n = ::recvmsg(control, &message, MSG_CMSG_CLOEXEC);
      if (n <= 0) {  // the caller has gone: so do its runs
        caller_there = false;
        for (const auto& [pid, run] : runs) ::kill(-pid, SIGKILL);
        continue;
      }
      int given[3] = {-1, -1, -1};
      const cmsghdr* header = CMSG_FIRSTHDR(&message);
      if (header && header->cmsg_type == SCM_RIGHTS && header->cmsg_len == CMSG_LEN(sizeof given)) {
        std::memcpy(given, CMSG_DATA(header), sizeof given);
      }
      const auto request = json::parse(buffer.begin(), buffer.begin() + n, nullptr, false);
      std::optional<LaunchPlan> plan;
      std::vector<std::string> args;
      try {
        plan = PlanFromJson(request);
        args = request.at("args").get<std::vector<std::string>>();
      } catch (const json::exception&) {
        plan.reset();
      }
      const pid_t pid = plan && given[2] >= 0 && !args.empty() ? ::fork() : -1;
      if (pid == 0) RunInFork(*plan, args, given[0], given[1], main);
      CloseAll({given[0], given[1]});
      if (pid < 0) {  // a request it cannot serve ends as a run that could not start
        const int status = 127 << 8;
        if (given[2] >= 0) ::send(given[2], &status, sizeof status, MSG_NOSIGNAL);
        CloseAll({given[2]});
        continue;
      }
      runs[pid].call = given[2];
    }
  }
  return 0;
}

}  // namespace qvfax::documents
