// qvfax send in-process: files are checked first, then the fax is sent.
#include <gtest/gtest.h>

#include <fstream>

#include "cli/commands.h"
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

TEST(SendCommand, RefusesMissingAndNonTiffFilesByName) {
  const std::string text = testing::ScratchPath("notes.txt");
  std::ofstream(text) << "not a fax";
  for (const std::string& file : {testing::ScratchPath("missing.tif"), text}) {
    SendOptions options;
    options.number = "0612345";
    options.files = {file};
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(Send(InProcess("sim"), options), 1) << file;
    const std::string said = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(said.find(file), std::string::npos) << said;
    EXPECT_NE(said.find("\"event\":\"error\""), std::string::npos) << said;
  }
}

TEST(SendCommand, SendsThroughItsOwnBrokerOnTheLineEngine) {
  SendOptions options;
  options.number = "0612345";
  options.files = {testing::MakeFaxTiff(testing::ScratchPath("cli-send.tif"), 2)};
  ::testing::internal::CaptureStdout();
  const int rc = Send(InProcess("line"), options);
  const std::string said = ::testing::internal::GetCapturedStdout();
  ASSERT_EQ(rc, 0) << said;
  EXPECT_NE(said.find("\"event\":\"sent\""), std::string::npos);
  EXPECT_NE(said.find("\"pages\":2"), std::string::npos);
  EXPECT_NE(said.find("\"received_file\":\""), std::string::npos);
}

}  // namespace
}  // namespace qvfax::cli
