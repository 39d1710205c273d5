// The fax queue through the real programs: a job handed to qvfaxd outlives
// the daemon's SIGKILL and ends once; a queue that cannot be read stops the
// daemon at start without being touched; refusals come back as exit statuses.
#include <filesystem>
#include <fstream>

#include <poll.h>
#include <sys/stat.h>

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "daemon_process.h"
#include "page_compare.h"
#include "program_run.h"
#include "rpc/client.h"
#include "tiff_maker.h"

namespace qvfax::testing {
namespace {

using Args = std::vector<std::string>;

Args Qvfax(const DaemonProcess& daemon, Args args) { return QvfaxOn(daemon.socket(), std::move(args)); }

// Counts the changes of jobs a follower hears.
struct JobFollower {
  explicit JobFollower(const DaemonProcess& daemon) : client(rpc::ConnectUnixSocket(daemon.socket())) {
    client.on_notification = [this](const std::string& method, const rpc::json& params) {
      if (method == "job") events.push_back(params.value("event", "") + " " + std::to_string(params.value("job", 0)));
    };
    client.Call("follow", {{"name", "jobs"}});
  }
  int Count(const std::string& event) const { return static_cast<int>(std::count(events.begin(), events.end(), event)); }
  rpc::Client client;
  std::vector<std::string> events;
};

TEST(QueuePrograms, AJobUnderWayWhenQvfaxdIsKilledEndsOnceAfterTheRestart) {
  DaemonProcess daemon(10);
  const std::string document = MakeFaxTiff(ScratchPath("queued-3.tif"), 3, pages::PageResolution::kFine,
                                           pages::PageStyle::kText);
  {
    JobFollower follower(daemon);
    const auto submitted = RunToEnd(Qvfax(daemon, {"submit", "0612345678", document}));
    ASSERT_EQ(submitted.exit, 0) << submitted.err;
    EXPECT_THAT(submitted.out, ::testing::HasSubstr("Job 1 queued: 3 pages to 0612345678"));
    for (int i = 0; i < 600 && follower.Count("started 1") == 0; ++i) follower.client.Pump(std::chrono::milliseconds(100));
    ASSERT_EQ(follower.Count("started 1"), 1);
    follower.client.Pump(std::chrono::milliseconds(1500));  // into the attempt
    ASSERT_EQ(follower.Count("ended 1"), 0);
  }
  daemon.Kill();
  daemon.Restart();
  JobFollower follower(daemon);
  follower.client.call_timeout = std::chrono::minutes(4);
  // The change and the answer come in this order on one connection.
  const auto ended = follower.client.Call("wait", {{"job", 1}});
  EXPECT_EQ(ended.value("outcome", ""), "delivered");
  EXPECT_EQ(ended.value("attempts", 0), 2);
  EXPECT_EQ(ended.value("pages_sent", 0), 3);
  EXPECT_EQ(follower.Count("ended 1"), 1);
  const auto waited = RunToEnd(Qvfax(daemon, {"wait", "1"}));
  EXPECT_EQ(waited.exit, 0) << waited.err;
  const auto history = RunToEnd(Qvfax(daemon, {"history", "1"}));
  EXPECT_THAT(history.out, ::testing::HasSubstr("attempt 1 on ttyS0"));
  EXPECT_THAT(history.out, ::testing::HasSubstr("qvfaxd stopped during this attempt"));
  EXPECT_THAT(history.out, ::testing::HasSubstr("attempt 2 on ttyS0"));
  const auto listed = RunToEnd(Qvfax(daemon, {"history", "--json"}));
  EXPECT_EQ(nlohmann::json::parse(listed.out).size(), 1u) << listed.out;
}

TEST(QueuePrograms, ADamagedQueueStopsTheDaemonAtStartAndIsLeftAsItWas) {
  DaemonProcess daemon(100);
  daemon.Stop();
  const std::string store = daemon.StateFolder() + "/qvfax/queue/jobs.sqlite";
  ASSERT_TRUE(std::filesystem::exists(store));
  const std::string garbage = "not a job store at all\n";
  { std::ofstream(store, std::ios::trunc) << garbage; }
  try {
    daemon.Restart();
    FAIL() << "qvfaxd started on a damaged queue";
  } catch (const std::runtime_error& e) {
    EXPECT_THAT(e.what(), ::testing::HasSubstr("jobs.sqlite cannot be used"));
  }
  std::ifstream in(store);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), garbage);
}

TEST(QueuePrograms, RefusedJobsComeBackAsExitStatusesAndLeaveNothingQueued) {
  DaemonProcess daemon(100);
  const std::string document = MakeFaxTiff(ScratchPath("queued-1.tif"), 1, pages::PageResolution::kFine,
                                           pages::PageStyle::kText);
  const std::pair<Args, int> rows[] = {
      {{"submit", "0612345678", ScratchPath("no-such-file.pdf")}, 4},
      {{"submit", "0612345678", document, "--at", "2001-01-01 10:00"}, 2},
      {{"submit", "0612345678", document, "--at", "now+2h", "--kill-time", "now+1h"}, 2},
      {{"submit", "06-CALL-ME", document}, 2},
      {{"submit", "0612345678", document, "--at", "tomorrow-ish"}, 2},
      {{"rm", "77"}, 2},
      {{"wait", "77"}, 2},
      {{"submit", "06\x1b[2J", document}, 2},  // a number that would clear the screen
  };
  for (const auto& [args, exit] : rows) {
    const auto run = RunToEnd(Qvfax(daemon, args));
    EXPECT_EQ(run.exit, exit) << args[0] << " " << args[1] << ": " << run.err;
    EXPECT_FALSE(run.err.empty());
    EXPECT_EQ(run.err.find('\x1b'), std::string::npos) << "control characters are shown, not sent: " << run.err;
  }
  const auto jobs = RunToEnd(Qvfax(daemon, {"jobs", "--json"}));
  EXPECT_EQ(jobs.out, "[]\n");
  std::error_code ec;
  EXPECT_TRUE(std::filesystem::is_empty(daemon.StateFolder() + "/qvfax/queue/documents", ec));
}

}  // namespace
}  // namespace qvfax::testing

namespace qvfax::testing {
namespace {

TEST(QueuePrograms, EverythingTheDaemonKeepsIsTheUsersAlone) {
  DaemonProcess daemon(100);
  const std::string document = MakeFaxTiff(ScratchPath("private-1.tif"), 1);
  const auto submitted = RunToEnd(Qvfax(daemon, {"submit", "0612345678", document, "--at", "2099-01-01 10:00"}));
  ASSERT_EQ(submitted.exit, 0) << submitted.err;
  const auto listed = RunToEnd(Qvfax(daemon, {"jobs"}));  // reads the queue, writes the registry's display setting
  ASSERT_EQ(listed.exit, 0) << listed.err;
  int files = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(daemon.folder())) {
    if (!entry.is_regular_file() || entry.path().filename() == "qvfaxd.stderr") continue;  // the test's own
    ++files;
    const auto mode = entry.status().permissions();
    EXPECT_EQ(mode & (std::filesystem::perms::group_all | std::filesystem::perms::others_all),
              std::filesystem::perms::none)
        << entry.path();
  }
  EXPECT_GE(files, 3) << "the queue's database, its log and the prepared document at least";
}

// -d NUMBER, repeated, queues one job a recipient with every other argument a
// document; without it a comma stays what it is in a dial string, a pause.
TEST(QueuePrograms, SeveralRecipientsAreOneJobEach) {
  DaemonProcess daemon(100);
  const std::string document = MakeFaxTiff(ScratchPath("recipients-1.tif"), 1);
  const std::string later = "2099-01-01 10:00";
  const auto several = RunToEnd(Qvfax(daemon, {"submit", "-d", "0611111111", "-d", "0622222222", "-d", "06-BAD",
                                               document, "--at", later}));
  EXPECT_EQ(several.exit, 2) << "the bad number's refusal: " << several.err;
  EXPECT_EQ(std::count(several.out.begin(), several.out.end(), '\n'), 2) << several.out;
  // A cover page, counted in the pages.
  const auto paused = RunToEnd(Qvfax(daemon, {"submit", "0611111111,0622222222", document, "--at", later, "--cover",
                                              "--subject", "Two numbers"}));
  EXPECT_EQ(paused.exit, 0) << paused.err;
  EXPECT_NE(paused.out.find("2 pages"), std::string::npos) << paused.out;
  const auto missing = RunToEnd(Qvfax(daemon, {"submit", "-d", "0611111111"}));
  EXPECT_EQ(missing.exit, 2) << "no document";
  const auto listed = RunToEnd(Qvfax(daemon, {"jobs", "--json"}));
  const auto jobs = nlohmann::json::parse(listed.out);
  std::vector<std::string> numbers;
  for (const auto& job : jobs) numbers.push_back(job.value("number", ""));
  std::sort(numbers.begin(), numbers.end());
  EXPECT_EQ(numbers, (std::vector<std::string>{"0611111111", "0611111111,0622222222", "0622222222"}));
}

// A command for qvfaxd to run that writes its arguments, as one line, to a
// pipe the test reads: opening the pipe waits for the command to write it.
struct ArgumentsPipe {
  explicit ArgumentsPipe(const std::string& name) : fifo(ScratchPath(name + ".fifo")), script(ScratchPath(name + ".sh")) {
    std::filesystem::remove(fifo);
    EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::ofstream(script) << "#!/bin/sh\necho \"$@\" > " << fifo << "\n";
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  }
  std::string Line() const {
    std::ifstream heard(fifo);
    std::string line;
    std::getline(heard, line);
    return line;
  }
  std::string fifo, script;
};

TEST(QueuePrograms, TheNotifyCommandHearsHowEachJobEnded) {
  const ArgumentsPipe notified("notify");
  DaemonProcess daemon(100, {"--notify-command", notified.script});
  const std::string document = MakeFaxTiff(ScratchPath("notified.tif"), 2, pages::PageResolution::kFine,
                                           pages::PageStyle::kText);
  const auto submitted = RunToEnd(Qvfax(daemon, {"submit", "0612345678", document}));
  ASSERT_EQ(submitted.exit, 0) << submitted.err;
  EXPECT_EQ(notified.Line(), "1 0612345678 delivered 2");
}

// A call that comes in (the line engine's virtual remote calling) is kept in
// the inbox, its pages as they were sent, told to the receive command and to
// followers, mailed as a PDF of the same pages, and gone with its file when
// removed.
TEST(QueuePrograms, AFaxThatComesInIsKeptInTheInboxUntilRemoved) {
  const ArgumentsPipe received("on-receive");
  const std::string mailbox = ScratchPath("mailbox.eml"), sendmail = ScratchPath("sendmail.sh");
  std::filesystem::remove(mailbox);
  {
    std::ofstream out(sendmail);
    out << "#!/bin/sh\necho \"$@\" > " << mailbox << ".args\ncat > " << mailbox << ".part\nmv " << mailbox << ".part "
        << mailbox << "\n";
  }
  std::filesystem::permissions(sendmail, std::filesystem::perms::owner_all);
  DaemonProcess daemon(0, {"--engine", "line", "--on-receive", received.script, "--mail-to", "fax@example.org", "--mail-to", "line0=line0@example.org", "--sendmail",
                           sendmail});
  rpc::Client follower(rpc::ConnectUnixSocket(daemon.socket()));
  std::vector<std::string> heard;
  follower.on_notification = [&](const std::string& method, const rpc::json& params) {
    if (method == "inbox") heard.push_back(params.value("event", ""));
  };
  follower.Call("follow", {{"name", "inbox"}});
  const std::string document = MakeFaxTiff(ScratchPath("incoming.tif"), 2, pages::PageResolution::kFine,
                                           pages::PageStyle::kText);

  const auto answered = RunToEnd(Qvfax(daemon, {"answer", "line0", document, "--from", "0612345678", "--json"}));
  ASSERT_EQ(answered.exit, 0) << answered.err;
  const auto fax = rpc::json::parse(answered.out);
  EXPECT_EQ(fax.value("pages", 0), 2);
  EXPECT_TRUE(fax.value("complete", false));
  const std::string file = fax.value("file", "");
  ExpectSamePages(document, file, 2);
  struct stat info {};
  ASSERT_EQ(::stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(received.Line(), fmt::format("{} {} 0612345678 2 complete", fax.value("id", 0), file));

  // The mail: to the address, with the fax's pages as a PDF.
  for (int i = 0; i < 300 && !std::filesystem::exists(mailbox); ++i) follower.Pump(std::chrono::milliseconds(100));
  std::ifstream mail_in(mailbox, std::ios::binary);
  const std::string mail((std::istreambuf_iterator<char>(mail_in)), {});
  EXPECT_NE(mail.find("To: line0@example.org\r\n"), std::string::npos) << "the port's own address wins\n"
                                                                        << mail.substr(0, 300);
  EXPECT_NE(mail.find(fmt::format("Subject: Fax {} from 0612345678, 2 pages\r\n", fax.value("id", 0))), std::string::npos);
  const auto attached = mail.find("Content-Disposition: attachment");
  ASSERT_NE(attached, std::string::npos);
  const auto body = mail.find("\r\n\r\n", attached) + 4;
  std::ofstream(ScratchPath("mailed.b64"), std::ios::binary) << mail.substr(body, mail.find("--", body) - body);
  const std::string pdf = ScratchPath("mailed.pdf");
  ASSERT_EQ(std::system(("base64 -di " + ScratchPath("mailed.b64") + " > " + pdf).c_str()), 0);
  const auto rendered = RunToEnd({"/usr/bin/gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=tiffg4", "-r204x196",
                                  "-sOutputFile=" + ScratchPath("mailed.tif"), pdf});
  ASSERT_EQ(rendered.exit, 0) << rendered.err;
  ExpectSamePages(document, ScratchPath("mailed.tif"), 2);

  const auto listed = RunToEnd(Qvfax(daemon, {"inbox", "--json"}));
  ASSERT_EQ(listed.exit, 0) << listed.err;
  ASSERT_EQ(rpc::json::parse(listed.out).size(), 1u);
  EXPECT_EQ(RunToEnd(Qvfax(daemon, {"inbox", "rm", std::to_string(fax.value("id", 0))})).exit, 0);
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_EQ(rpc::json::parse(RunToEnd(Qvfax(daemon, {"inbox", "--json"})).out).size(), 0u);
  EXPECT_NE(RunToEnd(Qvfax(daemon, {"inbox", "rm", std::to_string(fax.value("id", 0))})).exit, 0) << "removed twice";
  for (int i = 0; i < 50 && heard.size() < 3; ++i) follower.Pump(std::chrono::milliseconds(100));
  EXPECT_EQ(heard, (std::vector<std::string>{"incoming", "received", "removed"}));
}


// A disk that fills while a fax comes in: the fax is partial, says why in its
// record and in the journal, and the pages the disk kept are whole.
TEST(QueuePrograms, ADiskThatFillsWhileAFaxComesInKeepsThePagesItHolds) {
  SmallDisk disk;
  DaemonProcess daemon(0, {"--engine", "line"}, [&](const std::string& folder) {
    const std::string inbox = folder + "/state/qvfax/inbox";
    std::filesystem::create_directories(inbox);
    disk.Mount(inbox, "40k");
  });
  if (!disk.Mounted()) GTEST_SKIP() << "mounting a small disk needs root";
  const std::string document = MakeFaxTiff(ScratchPath("incoming-on-a-small-disk.tif"), 4,
                                           pages::PageResolution::kFine, pages::PageStyle::kLetter);
  const auto answered = RunToEnd(Qvfax(daemon, {"answer", "line0", document, "--from", "0612345678", "--json"}));
  EXPECT_EQ(answered.exit, 5) << answered.out << answered.err;
  const auto fax = rpc::json::parse(answered.out, nullptr, false);
  ASSERT_TRUE(fax.is_object()) << answered.out << answered.err;
  const int pages = fax.value("pages", -1);
  EXPECT_GE(pages, 0);
  EXPECT_LT(pages, 4) << "40 KiB does not hold four fine pages";
  EXPECT_FALSE(fax.value("complete", true));
  if (pages > 0) ExpectSamePages(document, fax.value("file", ""), pages);
  for (int i = 0; i < 200 && daemon.Journal().find("is partial") == std::string::npos; ++i) ::poll(nullptr, 0, 50);
  EXPECT_NE(daemon.Journal().find(fmt::format("fax {} from 0612345678 on line0 is partial: ", fax.value("id", 0))),
            std::string::npos)
      << daemon.Journal();
}

}  // namespace
}  // namespace qvfax::testing
