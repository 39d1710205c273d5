#include "documents/ghostscript.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <sstream>
#include <vector>

#include <fmt/format.h>

#include "documents/document_error.h"
#include "engines/pages/tiff_pages.h"

extern char** environ;

namespace qvfax::documents {

namespace {

// The last lines Ghostscript wrote that say what went wrong.
std::string Reason(const std::string& said) {
  std::istringstream lines(said);
  std::string line, reason;
  while (std::getline(lines, line)) {
    if (line.find("password") != std::string::npos) return "the PDF is encrypted";
    const auto start = line.find_first_not_of(" *");
    if (start == std::string::npos) continue;
    line = line.substr(start);
    if (reason.empty() || line.find("rror") != std::string::npos) reason = line;
  }
  return reason.empty() ? "Ghostscript failed" : "Ghostscript: " + reason;
}

struct Child {
  pid_t pid = -1;
  int err_fd = -1;
};

Child Spawn(std::vector<std::string> args) {
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDERR_FILENO);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // Its own process group, so a time-out stops it and anything it started.
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  Child child;
  const int spawned = posix_spawnp(&child.pid, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipe_fds[1]);
  child.err_fd = pipe_fds[0];
  if (spawned != 0) {
    ::close(child.err_fd);
    child.pid = -1;
  }
  return child;
}

}  // namespace

int RenderWithGhostscript(const std::string& input, const std::string& output, const FaxFormat& format,
                          const RenderLimits& limits) {
  const float y_dpi = YDpi(format.resolution);
  Child child = Spawn({"gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=tiffg4",
                       fmt::format("-r{}x{}", static_cast<int>(kFaxXDpi), static_cast<int>(y_dpi)),
                       fmt::format("-g{}x{}", kFaxWidth, PageRows(format)), "-dFIXEDMEDIA", "-dPDFFitPage",
                       "-dPSFitPage", "-dMaxStripSize=0", "-dFillOrder=2",
                       // One page past the limit tells a document that is too long.
                       fmt::format("-dLastPage={}", limits.max_pages + 1), "-sOutputFile=" + output, "-f", input});
  if (child.pid < 0) throw DocumentError(input, 0, "Ghostscript (gs) cannot be started: is it installed?");

  const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, child.pid, 0));
  const auto deadline = std::chrono::steady_clock::now() + limits.time;
  std::string said;
  bool timed_out = false, err_open = true, reaped = false;
  int status = 0;
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timed_out = true;
      break;
    }
    pollfd fds[2] = {{child.err_fd, static_cast<short>(err_open ? POLLIN : 0), 0}, {pidfd, POLLIN, 0}};
    const int ready = ::poll(fds, pidfd >= 0 ? 2 : 1, static_cast<int>(std::min<int64_t>(left.count(), 1000)));
    if (ready < 0 && errno != EINTR) break;
    if (err_open && (fds[0].revents & (POLLIN | POLLHUP))) {
      char buffer[4096];
      const ssize_t n = ::read(child.err_fd, buffer, sizeof buffer);
      if (n > 0 && said.size() < 65536) said.append(buffer, static_cast<size_t>(n));
      if (n <= 0) err_open = false;
    }
    if (pidfd >= 0) {
      if (fds[1].revents & POLLIN) break;
    } else if (::waitpid(child.pid, &status, WNOHANG) > 0) {
      reaped = true;
      break;
    }
  }
  if (timed_out) ::kill(-child.pid, SIGKILL);
  if (!reaped) ::waitpid(child.pid, &status, 0);
  // What it said last, after its end.
  char buffer[4096];
  ssize_t n;
  while (!timed_out && err_open && (n = ::read(child.err_fd, buffer, sizeof buffer)) > 0) {
    if (said.size() < 65536) said.append(buffer, static_cast<size_t>(n));
  }
  if (pidfd >= 0) ::close(pidfd);
  ::close(child.err_fd);

  std::error_code ec;
  if (timed_out) {
    std::filesystem::remove(output, ec);
    throw DocumentError(input, 0, fmt::format("Ghostscript ran past its limit of {} s", limits.time.count() / 1000));
  }
  const int pages = std::filesystem::exists(output, ec) ? pages::CountPages(output) : 0;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::filesystem::remove(output, ec);
    throw DocumentError(input, 0, Reason(said));
  }
  if (pages <= 0) {
    std::filesystem::remove(output, ec);
    throw DocumentError(input, 0, said.empty() ? "the document has no pages" : Reason(said));
  }
  if (pages > limits.max_pages) {
    std::filesystem::remove(output, ec);
    throw DocumentError(input, 0, fmt::format("more than {} pages", limits.max_pages));
  }
  return pages;
}

}  // namespace qvfax::documents
