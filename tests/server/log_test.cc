#include <fstream>

#include <gtest/gtest.h>

#include "components/registry_file.h"
#include "components/xarraydb.h"
#include "port/display_setting.h"
#include "server_fixture.h"

namespace qvfax {
namespace {

using testing::ServerFixture;

TEST(ScriviLog, RemovesLineBreaksAndWritesFileTextAndTable) {
  ServerFixture f;
  auto& server = f.CreateWithSink();
  f.apartment.clock->Advance(61'000);
  server.ScriviLog("a\r\nb");
  server.ScriviLog("");
  server.ScriviLog("c\rd\ne");
  ASSERT_EQ(f.log_file->lines.size(), 3u);
  EXPECT_EQ(f.log_file->lines[0].text, "ab");
  EXPECT_EQ(f.log_file->lines[0].kind, 0);
  EXPECT_EQ(f.log_file->lines[1].text, "");
  EXPECT_EQ(f.log_file->lines[2].text, "cde");
  EXPECT_EQ(server.TestoLog(), "ab\r\n\r\ncde\r\n");
  EXPECT_EQ(f.LogPublisher().texts,
            (std::vector<std::string>{"ab\r\n", "ab\r\n\r\n", "ab\r\n\r\ncde\r\n"}));
  auto& table = *server.XArrayDBLog();
  ASSERT_EQ(table.UpperBound(1), 2);
  EXPECT_EQ(std::get<std::string>(table.Value(0, 1)), "ab");
  EXPECT_EQ(std::get<OleDate>(table.Value(0, 0)).LogText(), "05/12/2026 09.31.01");
  EXPECT_EQ(std::get<std::string>(table.Value(2, 1)), "cde");
}

TEST(ScriviLog, AzzeraTestoLogPublishesTheEmptyText) {
  ServerFixture f;
  auto& server = f.CreateWithSink();
  server.ScriviLog("x");
  server.AzzeraTestoLog();
  EXPECT_EQ(server.TestoLog(), "");
  EXPECT_EQ(f.LogPublisher().last(), "");
  EXPECT_EQ(server.XArrayDBLog()->UpperBound(1), 0) << "the table keeps its rows";
}

TEST(DisplaySetting, TheFirstReadCreatesTheKeyAndReadsTrue) {
  const auto file = RegistryFile::DefaultFile();
  std::filesystem::remove(file);
  ServerFixture f;
  auto& server = f.CreateWithSink();  // the constructor reads the setting once
  ASSERT_TRUE(std::filesystem::exists(file));
  RegistryFile registry(file);
  EXPECT_TRUE(registry.OpenKey("SOFTWARE\\qvfax\\qvfax", kHkeyCurrentUser));
  EXPECT_TRUE(server.LeggiVisualizzaFaxManager());
  server.ScriviVisualizzaFaxManager(false);
  EXPECT_FALSE(server.LeggiVisualizzaFaxManager());
  server.ScriviVisualizzaFaxManager(true);
  EXPECT_EQ(DisplaySettingKey(), "SOFTWARE\\qvfax\\qvfax");
}

}  // namespace
}  // namespace qvfax
