// The qvfax program run as a user runs it: a separate process with its own
// folder, session and output, waited for by PID.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace qvfax::testing {

struct RunOptions {
  std::string folder;         // working folder; empty: the test's
  bool new_session = false;   // as if from another terminal
};

class ProgramRun {
 public:
  ProgramRun(std::vector<std::string> args, const RunOptions& options = {});
  ~ProgramRun();  // kills the program if it still runs

  // Reads standard output until `text` appears; false when it ended first.
  bool WaitForOutput(const std::string& text);
  // Waits for the end; returns the exit status (-1 when killed by a signal).
  int Wait();
  const std::string& out() const { return out_; }  // what it wrote on stdout (complete after Wait)
  const std::string& err() const { return err_; }  // stderr, after Wait
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int out_fd_ = -1;
  std::string out_, err_path_, err_;
  int status_ = -1;
};

// Runs to the end.
struct Finished {
  int exit;
  std::string out, err;
};
Finished RunToEnd(std::vector<std::string> args, const RunOptions& options = {});

// A tmpfs of `size` ("40k", "2m") on `path`, unmounted when it goes. Mounting
// needs root: Mounted() says whether it worked.
class SmallDisk {
 public:
  SmallDisk() = default;
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;
  ~SmallDisk();
  bool Mount(const std::string& path, const std::string& size);
  bool Mounted() const { return !path_.empty(); }

 private:
  std::string path_;
};

// qvfax's command line for `args`, talking to the daemon at `socket`.
std::vector<std::string> QvfaxOn(const std::string& socket, std::vector<std::string> args);

}  // namespace qvfax::testing
