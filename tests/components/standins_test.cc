#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "components/modem_info_list.h"
#include "components/publication_board.h"
#include "components/registry_file.h"
#include "components/runtime_file_publisher.h"
#include "components/text_log_file.h"
#include "platform/automation_error.h"
#include "platform/xdg_paths.h"

namespace qvfax {
namespace {

std::filesystem::path FreshFolder(const std::string& name) {
  auto dir = xdg::StateHome() / name;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(RuntimeFilePublisher, EachPublicationReplacesTheFileAndReachesFollowers) {
  const auto dir = FreshFolder("publisher");
  RuntimeFilePublisher publisher(dir);
  std::vector<std::string> heard;
  const auto token = publication_board::Follow(
      "QvVavUvaRazUr_Log", [&](const std::string&, const std::string& text) { heard.push_back(text); });
  publisher.Open("QvVavUvaRazUr_Log");
  publisher.Publish("first\r\n");
  publisher.Publish("second\r\n");
  publication_board::Unfollow(token);
  publisher.Publish("third");
  EXPECT_EQ(ReadAll(dir / "QvVavUvaRazUr_Log"), "third");
  EXPECT_EQ(heard, (std::vector<std::string>{"first\r\n", "second\r\n"}));
  size_t files = 0;
  for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator(dir)) ++files;
  EXPECT_EQ(files, 1u) << "a temporary file was left behind";
}

TEST(RegistryFile, AbsentKeysAndValuesReadAsTheDefault) {
  const auto file = FreshFolder("registry") / "registry.json";
  RegistryFile registry(file);
  EXPECT_FALSE(registry.OpenKey("SOFTWARE\\qvfax\\qvfax", kHkeyCurrentUser));
  EXPECT_TRUE(registry.ReadBool("VisualizzaFaxManager", true));
  registry.CreateKey("SOFTWARE\\qvfax\\qvfax", kHkeyCurrentUser);
  EXPECT_FALSE(registry.ReadBool("VisualizzaFaxManager", false));
  registry.WriteBool("VisualizzaFaxManager", true);
  registry.CloseKey();

  RegistryFile again(file);
  ASSERT_TRUE(again.OpenKey("SOFTWARE\\qvfax\\qvfax", kHkeyCurrentUser));
  EXPECT_TRUE(again.ReadBool("VisualizzaFaxManager", false));
}

TEST(RegistryFile, ADamagedFileReadsAsEmpty) {
  const auto file = FreshFolder("registry-damaged") / "registry.json";
  std::ofstream(file) << "{ not json";
  RegistryFile registry(file);
  EXPECT_FALSE(registry.OpenKey("SOFTWARE\\a", kHkeyCurrentUser));
  registry.CreateKey("SOFTWARE\\a", kHkeyCurrentUser);
  registry.WriteBool("v", false);
  EXPECT_FALSE(registry.ReadBool("v", true));
}

TEST(TextLogFile, WritesTimeStampedLinesWithTheirKindOnlyWhileOpen) {
  const auto dir = FreshFolder("logfile");
  TextLogFile log([] { return OleDate::FromLocal(2026, 12, 5, 9, 30, 0); });
  log.WriteLine("before", 0, 0, 0);
  log.ApplicationName("QvNrVavUvaRazUr");
  log.Folder(dir.string());
  log.Enabled(true);
  log.Open();
  EXPECT_EQ(log.FileName(), (dir / "QvNrVavUvaRazUr_20261205.log").string());
  log.WriteLine("Server inizializzato", 3, 0, 0);
  log.WriteLine("a line", 0, 0, 0);
  log.Close(0);
  log.WriteLine("after", 0, 0, 0);
  EXPECT_EQ(ReadAll(log.FileName()),
            "05/12/2026 09.30.00\t3\t-\tServer inizializzato\n05/12/2026 09.30.00\t0\t-\ta line\n");
}

TEST(TextLogFile, ALineThatCannotBeWrittenIsAnErrorOfTheOperationLogging) {
  const auto dir = FreshFolder("fulldisk");
  // The day's log file is a disk that is always full.
  std::filesystem::create_symlink("/dev/full", dir / "QvNrVavUvaRazUr_20261205.log");
  TextLogFile log([] { return OleDate::FromLocal(2026, 12, 5, 9, 30, 0); });
  log.ApplicationName("QvNrVavUvaRazUr");
  log.Folder(dir.string());
  log.Enabled(true);
  log.Open();
  try {
    log.WriteLine("Server inizializzato", 3, 0, 0);
    FAIL() << "the write to a full disk passed";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 61);
    EXPECT_EQ(e.source(), kLogFileWriterClass);
  }
}

TEST(ModemInfo, ExportsElementsNamedForTheirClass) {
  auto modem = std::make_shared<ModemInfo>();
  modem->Porta("ttyS0");
  modem->DescrizioneModem("Soft modem");
  modem->IdentificativoModem("QV-1");
  modem->ClassiFax(3);
  ModemInfoList list;
  list.Add(modem);

  pugi::xml_document one, many;
  ASSERT_TRUE(one.load_string(modem->XmlText().c_str()));
  ASSERT_TRUE(many.load_string(list.XmlText().c_str()));
  EXPECT_STREQ(one.last_child().name(), "InfoFaxModem");
  EXPECT_STREQ(one.last_child().child_value("Porta"), "ttyS0");
  EXPECT_STREQ(one.last_child().child_value("ClassiFax"), "3");
  EXPECT_STREQ(many.last_child().name(), "InfoFaxModems");
  EXPECT_STREQ(many.last_child().child("InfoFaxModem").child_value("IdentificativoModem"), "QV-1");
  EXPECT_EQ(list.Item(0), modem);
  EXPECT_ANY_THROW(list.Item(1));
}

}  // namespace
}  // namespace qvfax
