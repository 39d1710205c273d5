// qvfax send in-process: files are checked first, then the fax is sent.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <chrono>
#include <ctime>
#include <fstream>
#include <optional>
#include <tuple>

#include <fmt/format.h>

#include "cli/commands.h"
#include "queue/outcome.h"
#include "engines/pages/bitmap_page.h"
#include "engines/line/line_config.h"
#include "engines/pages/tiff_pages.h"
#include "rpc/jsonrpc.h"
#include "tiff_maker.h"

namespace qvfax::cli {
namespace {

Common InProcess(const std::string& engine) {
  Common common;
  common.socket = testing::ScratchPath("no-daemon.sock");
  common.engine.name = engine;
  common.json = true;
  return common;
}

TEST(SendCommand, RefusesMissingAndUnknownFilesByName) {
  const std::string text = testing::ScratchPath("program.bin");
  std::ofstream(text, std::ios::binary) << std::string("\x7f" "ELF\x02\x01\x01\0\0", 9);
  for (const std::string& file : {testing::ScratchPath("missing.tif"), text}) {
    SendOptions options;
    options.number = "0612345";
    options.files = {file};
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(Send(InProcess("sim"), options), static_cast<int>(Exit::kBadDocument)) << file;
    const std::string said = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(said.find(file), std::string::npos) << said;
    EXPECT_NE(said.find("\"event\":\"error\""), std::string::npos) << said;
  }
}

TEST(SendCommand, SendsThroughItsOwnBrokerOnTheLineEngineAndNamesItsOwnReceivedFile) {
  // Another call's fax, newer than any: it must not be named as this one's.
  const auto inbox = std::filesystem::path(line::DefaultLineConfig().inbox);
  std::filesystem::create_directories(inbox);
  const auto other = inbox / "20991231-235959-0699999.tif";
  std::ofstream(other) << "another call's";
  std::filesystem::last_write_time(other, std::filesystem::file_time_type::clock::now() + std::chrono::hours(1));
  SendOptions options;
  options.number = "0612345";
  options.files = {testing::MakeFaxTiff(testing::ScratchPath("cli-send.tif"), 2)};
  ::testing::internal::CaptureStdout();
  const int rc = Send(InProcess("line"), options);
  const std::string said = ::testing::internal::GetCapturedStdout();
  std::filesystem::remove(other);
  ASSERT_EQ(rc, 0) << said;
  const auto sent = rpc::json::parse(said.substr(said.find("{\"description\"")));
  EXPECT_EQ(sent.value("event", ""), "sent") << said;
  EXPECT_EQ(sent.value("pages", 0), 2);
  const std::string received = sent.value("received_file", "");
  EXPECT_NE(received.find("-0612345"), std::string::npos) << received;
  EXPECT_EQ(pages::CountPages(received), 2);
}

TEST(SendCommand, EachOutcomeHasItsOwnExitStatus) {
  // A sim bank whose numbers answer in different ways, played at once. (An
  // unanswered call rings for 45 s of real time; the table below covers it.)
  const std::string config = testing::ScratchPath("outcomes.json");
  std::ofstream(config) << R"({"ports": [{"name": "ttyS0", "modem": {}}],
                                "timing": {"dial_ms": 1, "answer_ms": 1, "training_ms": 1, "page_ms": 1, "hangup_ms": 1},
                                "remotes": [{"number": "0601", "answer": "busy"},
                                             {"number": "0603", "answer": "fax", "fail_at_page": 1},
                                             {"number": "0605", "answer": "fax", "reject_from_page": 1}]})";
  const std::string file = testing::MakeFaxTiff(testing::ScratchPath("outcomes.tif"), 1);
  // The engine's own reason closes the line when it gave one.
  const std::tuple<const char*, Exit, const char*> rows[] = {
      {"0601", Exit::kBusy, ""},
      {"0603", Exit::kLineFailure, ""},
      {"0605", Exit::kLineFailure, R"("reason":"the remote confirmed 0 of 1 pages")"},
      {"0604", Exit::kDelivered, ""}};
  for (const auto& [number, exit, reason] : rows) {
    Common common = InProcess("sim");
    common.engine.config = config;
    SendOptions options;
    options.number = number;
    options.files = {file};
    ::testing::internal::CaptureStdout();
    const int rc = Send(common, options);
    const std::string said = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(rc, static_cast<int>(exit)) << number << ": " << said;
    if (exit != Exit::kDelivered) {
      EXPECT_NE(said.find(fmt::format("\"exit\":{}", static_cast<int>(exit))), std::string::npos) << said;
    }
    EXPECT_NE(said.find(reason), std::string::npos) << said;
  }
}

TEST(SubmitTimes, OnlyTimesThatExistAreTakenAndRelativeOnesCountFromNow) {
  tm noon{};
  noon.tm_year = 2026 - 1900;
  noon.tm_mon = 11;
  noon.tm_mday = 7;
  noon.tm_hour = 12;
  noon.tm_isdst = -1;
  const int64_t now = static_cast<int64_t>(mktime(&noon)) * 1000;
  const std::pair<const char*, std::optional<int64_t>> rows[] = {
      {"now+90m", now + 90 * 60'000},
      {"now+2d", now + 2 * 86'400'000},
      {"now+1h", now + 3'600'000},
      {"2027-02-30 10:00", std::nullopt},  // not carried into March
      {"2027-13-01 10:00", std::nullopt},
      {"25:00", std::nullopt},
      {"now+", std::nullopt},
      {"now+5x", std::nullopt},
      {"now+-5m", std::nullopt},
  };
  for (const auto& [text, expected] : rows) EXPECT_EQ(ParseWhen(text, now), expected) << text;
  const auto last_of_february = ParseWhen("2027-02-28 10:00", now);
  ASSERT_TRUE(last_of_february);
  const time_t seconds = static_cast<time_t>(*last_of_february / 1000);
  tm parsed{};
  localtime_r(&seconds, &parsed);
  EXPECT_EQ(parsed.tm_mday, 28);
  EXPECT_EQ(parsed.tm_mon, 1);
}

TEST(ExitCodes, StatusesAndErrorsReadAsTheirOutcome) {
  const std::pair<int32_t, Exit> statuses[] = {{0, Exit::kDelivered}, {6, Exit::kBusy},      {9, Exit::kNoAnswer},
                                               {5, Exit::kNoAnswer},  {38, Exit::kNoAnswer}, {4, Exit::kCancelled},
                                               {51, Exit::kBadDocument}, {53, Exit::kModemFailure},
                                               {29, Exit::kLineFailure}, {10, Exit::kLineFailure},
                                               {78, Exit::kUsage},  // vacant number: no retry will find it
                                               {60, Exit::kModemFailure}, {76, Exit::kLineFailure}};
  for (const auto& [status, exit] : statuses) EXPECT_EQ(ExitForStatus(status), exit) << status;
  const std::pair<int32_t, Exit> errors[] = {{0, Exit::kDelivered},       {-150, Exit::kBadDocument},
                                             {-166, Exit::kBadDocument},  {-60, Exit::kBadDocument},
                                             {-153, Exit::kModemFailure}, {-34, Exit::kModemFailure},
                                             {-22, Exit::kLineFailure},   {-82, Exit::kLocalFailure}};
  for (const auto& [error, exit] : errors) EXPECT_EQ(ExitForError(error), exit) << error;
}

TEST(SendCommand, ARelativePathIsSentAndTheHeaderIsDrawnOnThePage) {
  const std::string sent = testing::MakeFaxTiff(testing::ScratchPath("cli-relative.tif"), 1,
                                                testing::PageResolution::kFine, pages::PageStyle::kLetter);
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(std::filesystem::path(sent).parent_path());
  SendOptions options;
  options.number = "0612345";
  options.files = {"cli-relative.tif"};
  options.header = "QVFAX HEADER TEST";
  ::testing::internal::CaptureStdout();
  const int rc = Send(InProcess("line"), options);
  const std::string said = ::testing::internal::GetCapturedStdout();
  std::filesystem::current_path(previous);
  ASSERT_EQ(rc, 0) << said;
  const size_t at = said.find("\"event\":\"sent\"");
  ASSERT_NE(at, std::string::npos) << said;
  const size_t line = said.rfind('\n', at);
  const auto event = rpc::json::parse(said.substr(line == std::string::npos ? 0 : line + 1));
  EXPECT_EQ(event.at("pages"), 1);
  pages::BitmapPage a, b;
  ASSERT_EQ(pages::ReadBitmapPage(sent, 1, a), 0);
  ASSERT_EQ(pages::ReadBitmapPage(event.at("received_file").get<std::string>(), 1, b), 0);
  const auto header_end = static_cast<long>(40 * a.Stride());
  EXPECT_FALSE(std::equal(a.bits.begin(), a.bits.begin() + header_end, b.bits.begin())) << "the header is drawn";
  EXPECT_TRUE(std::equal(a.bits.begin() + header_end, a.bits.end(), b.bits.begin() + header_end));
}

}  // namespace
}  // namespace qvfax::cli
