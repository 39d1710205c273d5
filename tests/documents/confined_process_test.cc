// The renderer's confinement: what a program run for a document can still
// read and write, tried with a shell standing in for a hostile document, and
// with PostScript that reaches for the system's temporary folder; and the
// preparation's own process, whatever becomes of it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <optional>

#include "document_maker.h"
#include "documents/confined_process.h"
#include "documents/document_error.h"
#include "documents/prepare.h"
#include "documents/prepare_in_child.h"
#include "tiff_maker.h"

namespace qvfax::documents {
namespace {

namespace fs = std::filesystem;
using testing::ScratchPath;

std::string Fresh(const std::string& name) {
  const std::string path = ScratchPath(name);
  fs::remove_all(path);
  return path;
}

TEST(Confinement, AProgramTouchesOnlyWhatItIsGiven) {
  const std::string folder = Fresh("confined");
  fs::create_directories(folder);
  const std::string given = ScratchPath("confined-input.txt");
  const std::string other = ScratchPath("confined-other.txt");
  const std::string outside = Fresh("confined-written.txt");
  std::ofstream(given) << "input\n";
  std::ofstream(other) << "private\n";
  ::setenv("GS_OPTIONS", "-dNOSAFER", 1);
  const bool landlock = FileAccessConfinable();
  struct Row {
    std::string script;
    bool allowed;
    bool needs_landlock;
  };
  const Row rows[] = {
      {"cat " + given, true, false},
      {"echo page > " + folder + "/out.tif", true, false},
      {"test -z \"$(ls -A \"$TMPDIR\")\" && case \"$TMPDIR\" in " + folder + "/*) echo x > \"$TMPDIR/t\";; *) exit 1;; esac",
       true, false},
      {"test -z \"$GS_OPTIONS\" && test -z \"$HOME\"", true, false},
      {"cat " + other, false, true},
      {"echo stolen > " + outside, false, true},
      {"ls /etc > /dev/null", false, true},
      {"cat /etc/hostname", false, true},
  };
  for (const auto& row : rows) {
    if (row.needs_landlock && !landlock) continue;
    Confinement confinement;
    confinement.read_files = {given};
    confinement.write_folder = folder;
    const ConfinedResult run = RunConfined({"sh", "-c", row.script}, confinement);
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exit_status == 0, row.allowed) << row.script << ": " << run.said;
  }
  ::unsetenv("GS_OPTIONS");
  EXPECT_FALSE(fs::exists(outside));
  EXPECT_TRUE(fs::exists(folder + "/out.tif"));
  // Its temporary folder goes with it.
  for (const auto& entry : fs::directory_iterator(folder)) EXPECT_EQ(entry.path().filename(), "out.tif");
}

// Ghostscript's safe mode lets a document use its temporary folder; that
// folder is now an empty one of the job's, so the system's stays out of reach.
TEST(Confinement, PostScriptCannotReachTheSystemTemporaryFolder) {
  const fs::path temp = fs::temp_directory_path();
  const std::string secret = (temp / "qvfax-test-secret.log").string();
  const std::string copy = (temp / "qvfax-test-copy.txt").string();
  std::ofstream(secret) << "the user's log\n";
  fs::remove(copy);
  const std::string ps = ScratchPath("reaching.ps");
  // An extra page when it could read; a copy outside when it could write.
  std::ofstream(ps) << "%!PS\n"
                    << "{ (" << secret << ") (r) file pop showpage } stopped pop\n"
                    << "{ (" << copy << ") (w) file dup (stolen) writestring closefile } stopped pop\n"
                    << "/Helvetica findfont 24 scalefont setfont 72 700 moveto (hello) show showpage\n";
  const auto prepared = Prepare({ps}, Fresh("reaching"), {});
  EXPECT_EQ(prepared.pages, 1) << "the document read a file outside its folder";
  EXPECT_FALSE(fs::exists(copy)) << "the document wrote a file outside its folder";
  fs::remove(secret);
  fs::remove(copy);
}

}  // namespace
}  // namespace qvfax::documents

namespace qvfax::documents {
namespace {

// Documents are prepared in qvfax-prepare: the same pages and the same
// errors as at home, and whatever becomes of that process, an error here.
TEST(PrepareInChild, GivesWhatPrepareGivesAndSurvivesItsHelper) {
  const std::string pdf = testing::WritePdf(ScratchPath("child.pdf"), 2);
  const std::string missing = ScratchPath("child-missing.pdf");
  const auto here = Prepare({pdf}, Fresh("child-here"), {});
  const auto there = PrepareInChild({pdf}, Fresh("child-there"), {});
  EXPECT_EQ(there.pages, here.pages);
  try {
    PrepareInChild({pdf, missing}, Fresh("child-missing"), {});
    ADD_FAILURE() << "a missing document was prepared";
  } catch (const DocumentError& e) {
    EXPECT_EQ(e.file(), missing);
    EXPECT_EQ(e.reason(), "no such file");
    EXPECT_FALSE(e.local());
  }
  for (const auto& entry : fs::directory_iterator(ScratchPath("child-missing"))) ADD_FAILURE() << entry.path() << " left";

  // A document that never ends is stopped at its time limit, which the helper is given.
  const std::string looping = ScratchPath("looping.ps");
  std::ofstream(looping) << "%!PS\n{ 1 pop } loop\n";
  PrepareOptions hurried;
  hurried.render.time = std::chrono::seconds(1);
  try {
    PrepareInChild({looping}, Fresh("child-looping"), hurried);
    ADD_FAILURE() << "a looping document was prepared";
  } catch (const DocumentError& e) {
    EXPECT_EQ(e.file(), looping);
    EXPECT_EQ(e.reason(), "Ghostscript ran past its limit of 1 s");
  }

  // Helpers that crash, say nothing, or are not there.
  struct Row {
    std::string script;  // "" for none
    std::string reason;
    bool local;
  } rows[] = {
      {"kill -SEGV $$", "its reader crashed on it (signal 11)", false},
      {"exit 0", "its reader gave no answer", false},
      {"", "qvfax-prepare cannot be started", true},
#if !defined(__SANITIZE_ADDRESS__)
      // More memory than the helper is allowed (the address sanitizer's own maps need no limit).
      {"exec python3 -c 'bytearray(3 << 30)' 2>&1 | tail -1 >&2; exit 1", "its reader gave no answer: MemoryError", false},
#endif
  };
  for (const auto& row : rows) {
    const std::string helper = ScratchPath("fake-prepare.sh");
    fs::remove(helper);
    if (!row.script.empty()) {
      // Helpers that do not serve forks are started for each job.
      std::ofstream(helper) << "#!/bin/sh\n[ \"$1\" = --serve-forks ] && exit 1\n" << row.script << "\n";
      fs::permissions(helper, fs::perms::owner_all);
    }
    ::setenv("QVFAX_PREPARE", helper.c_str(), 1);
    try {
      PrepareInChild({pdf}, Fresh("child-fake"), {});
      ADD_FAILURE() << row.reason;
    } catch (const DocumentError& e) {
      EXPECT_EQ(e.reason(), row.reason);
      EXPECT_EQ(e.local(), row.local) << row.reason;
    }
    ::unsetenv("QVFAX_PREPARE");
  }
}

// The helper kept started: our child that serves forks, if there is one.
std::optional<pid_t> KeptHelper() {
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string pid, name, state;
    pid_t parent = 0;
    if (!(stat >> pid >> name >> state >> parent) || parent != ::getpid()) continue;
    std::ifstream cmdline(entry.path() / "cmdline");
    const std::string line((std::istreambuf_iterator<char>(cmdline)), std::istreambuf_iterator<char>());
    if (line.find("--serve-forks") != std::string::npos && state != "Z") return std::stoi(pid);
  }
  return std::nullopt;
}

// Jobs at once through the one kept helper each get their own pages; a
// helper that has gone is started again for the next job.
TEST(PrepareInChild, AKeptHelperServesJobsAtOnceAndIsStartedAgainWhenGone) {
  const std::string one = testing::WritePdf(ScratchPath("kept-1.pdf"), 1);
  const std::string three = testing::WritePdf(ScratchPath("kept-3.pdf"), 3);
  std::vector<std::future<Prepared>> jobs;
  for (int i = 0; i < 6; ++i) {
    jobs.push_back(std::async(std::launch::async, [&, i] {
      return PrepareInChild({i % 2 ? three : one}, Fresh("kept-" + std::to_string(i)), {});
    }));
  }
  for (int i = 0; i < 6; ++i) {
    const Prepared prepared = jobs[i].get();
    EXPECT_EQ(prepared.pages, i % 2 ? 3 : 1) << "job " << i;
    ASSERT_EQ(prepared.files.size(), 1u);
    EXPECT_EQ(fs::path(prepared.files[0]).parent_path(), ScratchPath("kept-" + std::to_string(i)));
  }
  const auto helper = KeptHelper();
  ASSERT_TRUE(helper) << "no helper was kept";
  ::kill(*helper, SIGKILL);
  // Open here without close-on-exec, as a modem's port might be: never held by the helper.
  const std::string ours = ScratchPath("kept-ours.txt");
  std::ofstream(ours) << "ours\n";
  const int held = ::open(ours.c_str(), O_RDONLY);
  EXPECT_EQ(PrepareInChild({three}, Fresh("kept-again"), {}).pages, 3);
  const auto again = KeptHelper();
  ASSERT_TRUE(again);
  EXPECT_NE(*again, *helper);
  for (const auto& fd : fs::directory_iterator(fs::path("/proc") / std::to_string(*again) / "fd")) {
    std::error_code ec;
    EXPECT_NE(fs::read_symlink(fd.path(), ec), fs::path(ours)) << "the helper holds a descriptor of ours";
  }
  ::close(held);
}

}  // namespace
}  // namespace qvfax::documents
