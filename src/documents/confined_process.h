// Runs a program that reads documents from strangers (Ghostscript) where it
// can do little harm: a clean environment, an empty temporary folder of its
// own, its own process group, and, where the kernel has Landlock, no access to
// any file but the system's programs and fonts (read only), the files it is
// given to read, and the one folder it writes in.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace qvfax::documents {

struct Confinement {
  std::vector<std::string> read_files;  // besides the system's programs, libraries and fonts
  std::string write_folder;             // it may create and change files here; its TMPDIR is made inside
  std::chrono::milliseconds time{120'000};
  // Resource limits of the process (0: none): memory it may map, CPU
  // seconds, the largest file it may write.
  uint64_t address_space = 0, cpu_seconds = 0, file_size = 0;
};

struct ConfinedResult {
  bool started = false;    // false: the program cannot be run (not installed)
  bool timed_out = false;  // killed, with its process group, at the time limit
  int exit_status = -1;    // its exit code; -1 when it did not exit normally
  int signal = 0;          // the signal that ended it, if one did
  std::string said;        // its standard error, at most 64 KiB
  std::string out;         // its standard output, at most 1 MiB
};

// Whether the kernel confines file access (Landlock); when not, only the clean
// environment and the private temporary folder apply.
bool FileAccessConfinable();

// Runs `args` (args[0] found on PATH) as described above and waits for it.
ConfinedResult RunConfined(const std::vector<std::string>& args, const Confinement& confinement);

}  // namespace qvfax::documents
