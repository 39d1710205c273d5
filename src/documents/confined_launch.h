// The parts of a confined run that a cold start (fork and exec) and a warm
// one (a fork of a program already started) share: what the run may touch,
// applying that to the process about to run it, and gathering what it says.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "documents/confined_process.h"

namespace qvfax::documents {

struct LaunchPlan {
  struct Rule {
    std::string path;
    uint64_t access;
  };
  std::string program;            // found on PATH
  std::vector<Rule> rules;        // what it may read and write, where Landlock is
  std::vector<std::string> env;   // all of its environment
  std::string temp;               // its empty temporary folder, made for it
  int landlock_version = 0;
  uint64_t address_space = 0, cpu_seconds = 0, file_size = 0;
};

// The plan for running `program` under `confinement`, its temporary folder
// made; nullopt when the program is not there or the folder cannot be made.
std::optional<LaunchPlan> PlanLaunch(const std::string& program, const Confinement& confinement);

// Applies the plan to the calling process: its own process group, gone with
// its parent, standard input from /dev/null, output and errors to the given
// descriptors and no other descriptor open, its limits and its file access. System calls only, so it may
// run between fork and exec; ends the process when any step fails.
void ConfineSelf(const LaunchPlan& plan, int out_fd, int err_fd);

// Reads the run's output and errors into `result` until `ended` is readable
// (the run is over) or the deadline passes; true when it ended in time.
bool Gather(int out_fd, int err_fd, int ended, std::chrono::steady_clock::time_point deadline, ConfinedResult& result);

// Reads what is left of the output and errors once the run is over, closes
// both, and removes the run's temporary folder.
void FinishGathering(int out_fd, int err_fd, const LaunchPlan& plan, ConfinedResult& result);

// `status` as waitpid gives it, into the result.
void TakeStatus(int status, ConfinedResult& result);

}  // namespace qvfax::documents
