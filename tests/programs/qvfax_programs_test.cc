// qvfax and qvfaxd as a user meets them: separate processes, a daemon started
// in another folder, outcomes read from exit statuses and the lines printed.
#include <gtest/gtest.h>
#include <signal.h>
#include <fcntl.h>
#include <unistd.h>
#include <tiffio.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "daemon_process.h"
#include "document_maker.h"
#include "engines/pages/bitmap_page.h"
#include "engines/pages/tiff_open.h"
#include "engines/pages/tiff_pages.h"
#include "program_run.h"
#include "tiff_maker.h"

namespace qvfax::testing {
namespace {

using Args = std::vector<std::string>;

Args Qvfax(const DaemonProcess& daemon, Args args) { return QvfaxOn(daemon.socket(), std::move(args)); }

// The fax the line engine's virtual remote stored, and how it saw the caller.
struct Received {
  std::string file, caller_id;
};

Received OnlyReceivedFax(const DaemonProcess& daemon) {
  Received received;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(daemon.StateFolder() + "/qvfax/inbox", ec)) {
    if (entry.path().extension() != ".tif" || entry.path().filename().string()[0] == '.') continue;
    EXPECT_TRUE(received.file.empty()) << "a second received fax: " << entry.path();
    received.file = entry.path().string();
  }
  if (TIFF* tiff = received.file.empty() ? nullptr : pages::OpenTiff(received.file, "r")) {
    char* description = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_IMAGEDESCRIPTION, &description) && description) received.caller_id = description;
    TIFFClose(tiff);
  }
  return received;
}

// What a program that ended too soon said.
std::string Ended(ProgramRun& run) {
  const int exit = run.Wait();
  return "exit " + std::to_string(exit) + ": " + run.out() + run.err();
}

std::string Folder(const std::string& name) {
  const std::string folder = ScratchPath(name);
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

TEST(QvfaxProgram, ARelativePathSentThroughADaemonInAnotherFolderArrivesWithHeaderAndLocalId) {
  DaemonProcess daemon(0, {"--engine", "line"});
  const std::string folder = Folder("relative-send");
  MakeFaxTiff(folder + "/letter.tif", 1, PageResolution::kFine, pages::PageStyle::kLetter);
  const auto sent = RunToEnd(Qvfax(daemon, {"send", "--header", "QVFAX HEADER", "--local-id", "+39 06 5550199",
                                            "0612345678", "letter.tif"}),
                             RunOptions{folder, false});
  ASSERT_EQ(sent.exit, 0) << sent.out << sent.err;
  EXPECT_NE(sent.out.find("Sent 1 page to 0612345678"), std::string::npos) << sent.out;

  const auto received = OnlyReceivedFax(daemon);
  ASSERT_FALSE(received.file.empty());
  EXPECT_NE(sent.out.find("stored what it received in " + received.file), std::string::npos) << sent.out;
  EXPECT_EQ(received.caller_id, "+39 06 5550199") << "the remote's view of the caller";
  pages::BitmapPage a, b;
  ASSERT_EQ(pages::ReadBitmapPage(folder + "/letter.tif", 1, a), 0);
  ASSERT_EQ(pages::ReadBitmapPage(received.file, 1, b), 0);
  const auto header_end = static_cast<long>(40 * a.Stride());
  EXPECT_FALSE(std::equal(a.bits.begin(), a.bits.begin() + header_end, b.bits.begin())) << "the header is drawn";
  EXPECT_TRUE(std::equal(a.bits.begin() + header_end, a.bits.end(), b.bits.begin() + header_end));

  // Someone's fax and the call log are their owner's alone.
  namespace fs = std::filesystem;
  const auto mode = [](const fs::path& p) { return fs::status(p).permissions() & fs::perms::all; };
  const fs::path state = daemon.StateFolder() + "/qvfax";
  EXPECT_EQ(mode(received.file), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(mode(state / "inbox"), fs::perms::owner_all);
  EXPECT_EQ(mode(state), fs::perms::owner_all);
  int logs = 0;
  for (const auto& entry : fs::directory_iterator(state)) {
    if (entry.path().extension() != ".log") continue;
    ++logs;
    EXPECT_EQ(mode(entry.path()), fs::perms::owner_read | fs::perms::owner_write) << entry.path();
  }
  EXPECT_GT(logs, 0);
}

TEST(QvfaxProgram, EachFailureHasItsExitStatusAndOneLineNamingTheCause) {
  const std::string config = ScratchPath("programs-sim.json");
  std::ofstream(config) << R"({"ports": [{"name": "ttyS0", "modem": {}}],
                               "remotes": [{"number": "0601", "answer": "busy"}]})";
  DaemonProcess daemon(0, {"--engine-config", config});
  const std::string file = MakeFaxTiff(ScratchPath("programs-one.tif"), 1);
  const std::string missing = ScratchPath("programs-missing.tif");
  struct Row {
    Args args;
    int exit;
    std::string said;
  } rows[] = {
      {{"send", "0612345678", missing}, 4, missing + ": no such file"},
      {{"send", "0601", file}, 1, "the fax ended after 0 of 1 pages: error 6"},
      {{"--engine", "sim", "modems"}, 2, "add --in-process"},
      {{"status", "--fax", "999"}, 2, "qvfaxd has no fax 999"},
      {{"cancel"}, 2, "qvfaxd has no fax at the moment"},
  };
  for (const auto& row : rows) {
    const auto run = RunToEnd(Qvfax(daemon, row.args));
    EXPECT_EQ(run.exit, row.exit) << row.args[0] << ": " << run.out << run.err;
    EXPECT_NE(run.err.find(row.said), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }
}

TEST(QvfaxProgram, CancelStopsOnlyTheCallersFaxAndItsSendExitsCancelled) {
  DaemonProcess daemon(4);  // a call of some seconds, long enough to be cancelled
  const std::string file = MakeFaxTiff(ScratchPath("programs-cancel.tif"), 3);
  ProgramRun other(Qvfax(daemon, {"send", "0698765432", file}), RunOptions{"", true});
  ProgramRun mine(Qvfax(daemon, {"send", "0612345678", file}));
  ASSERT_TRUE(other.WaitForOutput("Dialing")) << Ended(other);
  ASSERT_TRUE(mine.WaitForOutput("Dialing")) << Ended(mine);

  const auto cancel = RunToEnd(Qvfax(daemon, {"cancel"}));
  EXPECT_EQ(cancel.exit, 0) << cancel.err;
  EXPECT_NE(cancel.out.find("Asked fax "), std::string::npos) << cancel.out;
  EXPECT_EQ(mine.Wait(), 6) << mine.out() << mine.err();
  EXPECT_NE(mine.err().find("error 4"), std::string::npos) << mine.err();
  EXPECT_EQ(other.Wait(), 0) << "another terminal's fax goes on: " << other.out() << other.err();
}

TEST(QvfaxProgram, TwoFaxesAtOnceEachShowOnlyTheirOwnLogAndStatus) {
  DaemonProcess daemon(4);
  const std::string file = MakeFaxTiff(ScratchPath("programs-two.tif"), 2);
  ProgramRun other(Qvfax(daemon, {"--json", "send", "0698765432", file}), RunOptions{"", true});
  ProgramRun mine(Qvfax(daemon, {"send", "0612345678", file}));
  ASSERT_TRUE(other.WaitForOutput("Dialing")) << Ended(other);
  ASSERT_TRUE(mine.WaitForOutput("Dialing")) << Ended(mine);
  const auto started = nlohmann::json::parse(other.out().substr(0, other.out().find('\n')));
  ASSERT_EQ(started.at("event"), "started");
  const std::string other_fax = std::to_string(started.at("fax").get<int>());

  struct Row {
    Args args;
    std::string shown, hidden;
  } rows[] = {
      {{"log"}, "0612345678", "0698765432"},
      {{"log", "--fax", other_fax}, "0698765432", "0612345678"},
      {{"status"}, "Number:      0612345678", "0698765432"},
  };
  const auto check = [&](const char* when) {
    for (const auto& row : rows) {
      const auto run = RunToEnd(Qvfax(daemon, row.args));
      EXPECT_EQ(run.exit, 0) << when << ": " << run.err;
      EXPECT_NE(run.out.find(row.shown), std::string::npos) << when << ": " << run.out;
      EXPECT_EQ(run.out.find(row.hidden), std::string::npos) << when << ": " << run.out;
    }
  };
  check("while both run");
  const auto all = RunToEnd(Qvfax(daemon, {"status", "--all", "--json"}));
  EXPECT_EQ(std::count(all.out.begin(), all.out.end(), '\n'), 2) << all.out;
  EXPECT_EQ(mine.Wait(), 0) << mine.err();
  EXPECT_EQ(other.Wait(), 0) << other.err();
  // Right after, each session's status and log are still its last fax's.
  check("after both ended");
  EXPECT_NE(RunToEnd(Qvfax(daemon, {"status"})).out.find("(ended)"), std::string::npos);
  // Faxes sent at once are in the history beside the queue's jobs.
  const auto history = nlohmann::json::parse(RunToEnd(Qvfax(daemon, {"history", "--json"})).out);
  ASSERT_EQ(history.size(), 2u) << history;
  std::set<std::string> numbers;
  for (const auto& job : history) {
    EXPECT_TRUE(job.value("direct", false)) << job;
    EXPECT_EQ(job.value("outcome", ""), "delivered") << job;
    EXPECT_EQ(job.value("pages_sent", 0), 2) << job;
    EXPECT_EQ(job.value("pages", 0), 2) << job;
    numbers.insert(job.value("number", ""));
  }
  EXPECT_EQ(numbers, (std::set<std::string>{"0612345678", "0698765432"}));
  // The day's log file interleaves them: each line names whose it is.
  std::istringstream lines(ReadLogs(daemon.StateFolder()));
  std::set<std::string> whose;
  for (std::string line; std::getline(lines, line);) {
    const auto start = line.find('\t', line.find('\t') + 1) + 1;
    whose.insert(line.substr(start, line.find('\t', start) - start));
  }
  EXPECT_EQ(whose, (std::set<std::string>{"fax 1", "fax 2", "queue ports"}));
}

// Fills a disk to the last byte.
void Fill(const std::string& folder) {
  const int fd = ::open((folder + "/filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  const std::string block(65536, 'x');
  for (const size_t size : {size_t{65536}, size_t{4096}, size_t{512}, size_t{1}}) {
    for (int i = 0; i < 1 << 16 && ::write(fd, block.data(), size) == static_cast<ssize_t>(size); ++i) {
    }
  }
  ::close(fd);
}

// A full disk under the daemon's state (prepared documents, the queue, the
// logs) is this host's failure: named, exit 9, and never a wait without end.
TEST(QvfaxProgram, AFullDiskIsNamedAsALocalFailure) {
  std::string state;
  SmallDisk disk;
  DaemonProcess daemon(0, {"--engine", "line"}, [&](const std::string& folder) {
    state = folder + "/state";
    disk.Mount(state, "2m");
  });
  if (!disk.Mounted()) GTEST_SKIP() << "mounting a small disk needs root";
  const std::string pdf = WritePdf(ScratchPath("full-disk.pdf"), 1);
  ASSERT_EQ(RunToEnd(Qvfax(daemon, {"send", "5550100", pdf})).exit, 0) << "while there is room";
  Fill(state);
  for (const Args& args : {Args{"send", "5550100", pdf}, Args{"submit", "5550100", pdf}}) {
    const auto run = RunToEnd(Qvfax(daemon, args));
    EXPECT_EQ(run.exit, 9) << args[0] << ": " << run.out << run.err;
    // Whichever write met the full disk first (the pages, the queue, the log), the line names it.
    EXPECT_TRUE(run.err.find("no space left on the disk") != std::string::npos ||
                run.err.find("disk is full") != std::string::npos || run.err.find("Disk full") != std::string::npos)
        << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }
  EXPECT_EQ(RunToEnd(Qvfax(daemon, {"--json", "jobs"})).out, "[]\n") << "a job that could not be kept is not queued";
  std::filesystem::remove(state + "/filler");

  // The log the server writes on a disk that refuses it.
  const time_t now = ::time(nullptr);
  for (const time_t day : {now, now + 86400}) {
    tm local{};
    localtime_r(&day, &local);
    char name[64];
    std::strftime(name, sizeof name, "/qvfax/QvNrVavUvaRazUr_%Y%m%d.log", &local);
    std::filesystem::remove(state + name);
    std::filesystem::create_symlink("/dev/full", state + name);
  }
  const auto run = RunToEnd(Qvfax(daemon, {"send", "5550100", pdf}));
  EXPECT_EQ(run.exit, 9) << run.out << run.err;
  EXPECT_NE(run.err.find("Disk full"), std::string::npos) << run.err;
}

// --timeout bounds the daemon's silence, not its work: a job that takes
// longer is waited for, and a stopped daemon ends every command.
TEST(QvfaxProgram, TheTimeoutBoundsSilenceOnEveryCommand) {
  DaemonProcess daemon(2);  // a call of several seconds
  const std::string document = MakeFaxTiff(ScratchPath("timeout-1.tif"), 1);
  ASSERT_EQ(RunToEnd(Qvfax(daemon, {"submit", "0612345678", document})).exit, 0);
  const auto waited = RunToEnd(Qvfax(daemon, {"--timeout", "3", "wait", "1"}));
  EXPECT_EQ(waited.exit, 0) << waited.out << waited.err;
  EXPECT_NE(waited.out.find("1 of 1 pages"), std::string::npos) << waited.out;

  ASSERT_EQ(::kill(daemon.pid(), SIGSTOP), 0);
  for (const Args& args : {Args{"modems"}, Args{"submit", "0612345678", document}, Args{"wait", "1"},
                           Args{"send", "0612345678", document}, Args{"jobs"}}) {
    const auto run = RunToEnd(Qvfax(daemon, [&] {
      Args all{"--timeout", "1"};
      all.insert(all.end(), args.begin(), args.end());
      return all;
    }()));
    EXPECT_EQ(run.exit, 7) << args[0] << ": " << run.out << run.err;
    EXPECT_NE(run.err.find("qvfaxd did not answer"), std::string::npos) << run.err;
  }
  ::kill(daemon.pid(), SIGCONT);
}

TEST(QvfaxdProgram, NeverReplacesWhatIsNotAStaleSocket) {
  const std::string file = ScratchPath("precious.txt"), folder = Folder("empty-folder");
  std::ofstream(file) << "keep me";
  for (const std::string& path : {file, folder}) {
    const auto run = RunToEnd({QVFAXD_PATH, "--socket", path, "--engine", "sim"});
    EXPECT_NE(run.exit, 0) << path;
    EXPECT_NE(run.err.find("is not a socket"), std::string::npos) << run.err;
  }
  std::ifstream kept(file);
  std::string text;
  std::getline(kept, text);
  EXPECT_EQ(text, "keep me");
  EXPECT_TRUE(std::filesystem::is_directory(folder));
}

// Each program answers --help and --version; qvfax's help ends with its exit statuses.
TEST(Programs, PrintTheirHelpAndVersion) {
  const struct {
    Args args;
    const char* said;
  } rows[] = {
      {{QVFAX_DEMO_PATH, "--help"}, "--socket"},
      {{QVFAX_PATH, "--help"}, "8 no modem or its port would not open"},
      {{QVFAX_PATH, "--version"}, "qvfax "},
      {{QVFAXD_PATH, "--version"}, "qvfaxd "},
  };
  for (const auto& row : rows) {
    const auto run = RunToEnd(row.args);
    EXPECT_EQ(run.exit, 0) << row.args[0] << " " << row.args[1] << ": " << run.err;
    EXPECT_NE(run.out.find(row.said), std::string::npos) << run.out;
  }
}

TEST(ExampleClient, SendsAFaxThroughARealDaemon) {
  DaemonProcess daemon(0, {"--engine", "line"});
  const std::string file = MakeFaxTiff(ScratchPath("programs-example.tif"), 2);
  const auto run = RunToEnd({"/usr/bin/python3", QVFAX_SOURCE_DIR "/docs/examples/send_fax.py", "--socket",
                             daemon.socket(), "0612345678", file});
  ASSERT_EQ(run.exit, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("sent 2 of 2 pages; termination 0 Normal termination"), std::string::npos) << run.out;
  EXPECT_EQ(pages::CountPages(OnlyReceivedFax(daemon).file), 2);
}

}  // namespace
}  // namespace qvfax::testing
