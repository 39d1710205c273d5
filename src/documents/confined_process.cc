#include "documents/confined_process.h"

#include "documents/confined_launch.h"

#include <fcntl.h>
#include <linux/landlock.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>

namespace qvfax::documents {

namespace fs = std::filesystem;

namespace {

// Access rights by the Landlock version that brought them; the headers of an
// older system may lack the newer ones, the running kernel decides.
constexpr uint64_t kFsV1 = (1ULL << 13) - 1;  // execute ... make symlink
constexpr uint64_t kFsRefer = 1ULL << 13;     // version 2
constexpr uint64_t kFsTruncate = 1ULL << 14;  // version 3
constexpr uint64_t kFsIoctlDev = 1ULL << 15;  // version 5
constexpr uint64_t kNetTcp = 3;               // version 4: bind and connect
constexpr uint64_t kScopes = 3;               // version 6: abstract sockets and signals outside
constexpr uint64_t kReadOnly = LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR;

struct RulesetAttr {  // the kernel's landlock_ruleset_attr, as of version 6
  uint64_t handled_access_fs;
  uint64_t handled_access_net;
  uint64_t scoped;
};

// What a renderer needs of the system, read only: its programs, libraries,
// resources and fonts. Nothing of any user's, nor the system's other files.
const char* const kSystemReadOnly[] = {"/usr",           "/lib",           "/lib32",          "/lib64",
                                       "/libx32",        "/bin",           "/sbin",           "/etc/ld.so.cache",
                                       "/etc/fonts",     "/etc/ghostscript", "/etc/papersize", "/etc/paperspecs",
                                       "/var/lib/ghostscript", "/var/cache/fontconfig", "/etc/ImageMagick-6"};

int LandlockVersion() {
  const long v = ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
  return v < 0 ? 0 : static_cast<int>(v);
}

std::string FindOnPath(const std::string& name) {
  if (name.find('/') != std::string::npos) return ::access(name.c_str(), X_OK) == 0 ? name : std::string();
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    const size_t end = std::min(dirs.find(':', start), dirs.size());
    const std::string candidate = (end > start ? dirs.substr(start, end - start) : ".") + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

[[noreturn]] void Fail(const char* what) {
  const char prefix[] = "confinement failed: ";
  [[maybe_unused]] ssize_t n = ::write(STDERR_FILENO, prefix, sizeof prefix - 1);
  n = ::write(STDERR_FILENO, what, std::char_traits<char>::length(what));
  n = ::write(STDERR_FILENO, "\n", 1);
  ::_exit(126);
}

}  // namespace

// In the child, between fork and exec: system calls only, nothing that allocates.
void ConfineSelf(const LaunchPlan& plan, int out_fd, int err_fd) {
  ::setpgid(0, 0);
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  const int null_fd = ::open("/dev/null", O_RDWR);
  if (null_fd < 0) Fail("/dev/null");
  ::dup2(null_fd, STDIN_FILENO);
  ::dup2(out_fd, STDOUT_FILENO);
  ::dup2(err_fd, STDERR_FILENO);
  // Nothing else of its parent's: not a modem's port, not a socket, not a job's file.
  ::close_range(3, ~0U, 0);
  const auto limit = [](int resource, uint64_t value) {
    if (value == 0) return;
    const rlimit r{static_cast<rlim_t>(value), static_cast<rlim_t>(value)};
    if (::setrlimit(resource, &r) != 0) Fail("resource limit");
  };
  limit(RLIMIT_AS, plan.address_space);
  limit(RLIMIT_CPU, plan.cpu_seconds);
  limit(RLIMIT_FSIZE, plan.file_size);
  const int version = plan.landlock_version;
  if (version > 0) {
    RulesetAttr attr{kFsV1, 0, 0};
    size_t size = sizeof attr.handled_access_fs;
    if (version >= 2) attr.handled_access_fs |= kFsRefer;
    if (version >= 3) attr.handled_access_fs |= kFsTruncate;
    if (version >= 4) attr.handled_access_net = kNetTcp, size = 2 * sizeof(uint64_t);
    if (version >= 5) attr.handled_access_fs |= kFsIoctlDev;
    if (version >= 6) attr.scoped = kScopes, size = sizeof attr;
    const int ruleset = static_cast<int>(::syscall(SYS_landlock_create_ruleset, &attr, size, 0));
    if (ruleset < 0) Fail("landlock ruleset");
    for (const LaunchPlan::Rule& rule : plan.rules) {
      const int fd = ::open(rule.path.c_str(), O_PATH | O_CLOEXEC);
      if (fd < 0) continue;
      struct stat st;
      const bool folder = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
      // A file takes only the rights a file can have.
      const uint64_t file_rights = LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_WRITE_FILE |
                                   LANDLOCK_ACCESS_FS_READ_FILE | (version >= 3 ? kFsTruncate : 0) |
                                   (version >= 5 ? kFsIoctlDev : 0);
      landlock_path_beneath_attr beneath{};
      beneath.allowed_access = (folder ? rule.access : rule.access & file_rights) & attr.handled_access_fs;
      beneath.parent_fd = fd;
      if (::syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &beneath, 0) != 0) Fail(rule.path.c_str());
      ::close(fd);
    }
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) Fail("no new privileges");
    if (::syscall(SYS_landlock_restrict_self, ruleset, 0) != 0) Fail("landlock restrict");
    ::close(ruleset);
  }
}

namespace {

[[noreturn]] void ConfineAndExec(const LaunchPlan& plan, char* const* argv, char* const* envp, int out_fd, int err_fd) {
  ConfineSelf(plan, out_fd, err_fd);
  ::execve(plan.program.c_str(), argv, envp);
  Fail("exec");
}

}  // namespace

bool FileAccessConfinable() { return LandlockVersion() > 0; }

std::optional<LaunchPlan> PlanLaunch(const std::string& name, const Confinement& confinement) {
  LaunchPlan plan;
  plan.program = FindOnPath(name);
  if (plan.program.empty()) return std::nullopt;
  // An empty temporary folder of its own, inside the one folder it may write.
  plan.temp = (fs::path(confinement.write_folder) / ".tmp-XXXXXX").string();
  if (!::mkdtemp(plan.temp.data())) return std::nullopt;

  for (const char* path : kSystemReadOnly) plan.rules.push_back({path, kReadOnly});
  plan.rules.push_back({"/dev/null", LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_WRITE_FILE});
  plan.rules.push_back({plan.program, kReadOnly});  // a program of our own may live outside the system's folders
  // Its own entry in /proc (opened by the process confined, so its own): runtimes read their maps there.
  plan.rules.push_back({"/proc/self", LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR});
  for (const auto& file : confinement.read_files) plan.rules.push_back({file, LANDLOCK_ACCESS_FS_READ_FILE});
  plan.rules.push_back({confinement.write_folder, ~0ULL});
  // Nothing of the caller's environment: GS_OPTIONS alone could turn the safe mode off.
  plan.env = {"PATH=/usr/bin:/bin", "TMPDIR=" + plan.temp, "TEMP=" + plan.temp, "LC_ALL=C"};
  plan.landlock_version = LandlockVersion();
  plan.address_space = confinement.address_space;
  plan.cpu_seconds = confinement.cpu_seconds;
  plan.file_size = confinement.file_size;
  return plan;
}

namespace {

constexpr size_t kMostSaid = 64 * 1024, kMostOut = 1024 * 1024;

void Take(int fd, bool& open, std::string& into, size_t most) {
  char buffer[4096];
  const ssize_t n = ::read(fd, buffer, sizeof buffer);
  if (n > 0 && into.size() < most) into.append(buffer, static_cast<size_t>(n));
  if (n <= 0) open = false;
}

}  // namespace

bool Gather(int out_fd, int err_fd, int ended, std::chrono::steady_clock::time_point deadline, ConfinedResult& result) {
  bool err_open = true, out_open = true;
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd fds[3] = {{err_fd, static_cast<short>(err_open ? POLLIN : 0), 0},
                     {out_fd, static_cast<short>(out_open ? POLLIN : 0), 0},
                     {ended, POLLIN, 0}};
    const int ready = ::poll(fds, 3, static_cast<int>(std::min<int64_t>(left.count(), 1000)));
    if (ready < 0 && errno != EINTR) return true;
    if (err_open && (fds[0].revents & (POLLIN | POLLHUP))) Take(err_fd, err_open, result.said, kMostSaid);
    if (out_open && (fds[1].revents & (POLLIN | POLLHUP))) Take(out_fd, out_open, result.out, kMostOut);
    if (fds[2].revents & (POLLIN | POLLHUP)) return true;
    if (ended < 0 && !err_open && !out_open) return true;  // no way to hear its end but its closing both
  }
}

void FinishGathering(int out_fd, int err_fd, const LaunchPlan& plan, ConfinedResult& result) {
  // What it said last, after its end; nothing more from a run stopped at its limit.
  bool err_open = !result.timed_out, out_open = !result.timed_out;
  while (err_open) Take(err_fd, err_open, result.said, kMostSaid);
  while (out_open) Take(out_fd, out_open, result.out, kMostOut);
  ::close(err_fd);
  ::close(out_fd);
  std::error_code ec;
  fs::remove_all(plan.temp, ec);
}

void TakeStatus(int status, ConfinedResult& result) {
  if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
}

ConfinedResult RunConfined(const std::vector<std::string>& args, const Confinement& confinement) {
  ConfinedResult result;
  const auto plan = PlanLaunch(args.at(0), confinement);
  if (!plan) return result;
  std::vector<std::string> args_copy = args, env = plan->env;
  std::vector<char*> argv, envp;
  for (auto& a : args_copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  int err_fds[2] = {-1, -1}, out_fds[2] = {-1, -1};
  const auto abandon = [&] {
    for (int fd : {err_fds[0], err_fds[1], out_fds[0], out_fds[1]}) {
      if (fd >= 0) ::close(fd);
    }
    std::error_code ec;
    fs::remove_all(plan->temp, ec);
    return result;
  };
  if (::pipe2(err_fds, O_CLOEXEC) != 0 || ::pipe2(out_fds, O_CLOEXEC) != 0) return abandon();
  const pid_t pid = ::fork();
  if (pid == 0) ConfineAndExec(*plan, argv.data(), envp.data(), out_fds[1], err_fds[1]);
  if (pid < 0) return abandon();
  ::close(err_fds[1]);
  ::close(out_fds[1]);
  result.started = true;

  const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  result.timed_out = !Gather(out_fds[0], err_fds[0], pidfd, std::chrono::steady_clock::now() + confinement.time, result);
  if (result.timed_out) ::kill(-pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::kill(-pid, SIGKILL);  // anything it left behind in its group
  if (pidfd >= 0) ::close(pidfd);
  FinishGathering(out_fds[0], err_fds[0], *plan, result);
  TakeStatus(status, result);
  return result;
}

}  // namespace qvfax::documents
