// Files for received faxes: one per fax even within one second, private,
// and a name every file system takes whatever number was dialled.
#include "engines/core/received_file.h"

#include <gtest/gtest.h>

#include <set>

#include "tiff_maker.h"

namespace qvfax::core {
namespace {

TEST(ReceivedFile, ThreeFaxesToOneNumberInOneSecondGetThreeFiles) {
  const std::filesystem::path inbox = testing::ScratchPath("received-inbox");
  std::filesystem::remove_all(inbox);
  std::filesystem::create_directories(inbox);
  std::set<std::string> names;
  for (int i = 0; i < 3; ++i) names.insert(ReserveReceivedFile(inbox, "20261206-120000", "06 123").filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"20261206-120000-06_123.tif", "20261206-120000-06_123-2.tif",
                                          "20261206-120000-06_123-3.tif"}));
  const auto mode = std::filesystem::status(inbox / *names.begin()).permissions() & std::filesystem::perms::all;
  EXPECT_EQ(mode, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

  const auto long_number = ReserveReceivedFile(inbox, "20261206-120000", std::string(300, '7'));
  EXPECT_EQ(long_number.extension(), ".tif");
  EXPECT_TRUE(std::filesystem::exists(long_number));
  EXPECT_LT(long_number.filename().string().size(), 100u);
  // Each name is known as a fax to its own number, and only to it.
  for (const auto& name : names) EXPECT_TRUE(IsReceivedFileFor(inbox / name, "06 123")) << name;
  EXPECT_TRUE(IsReceivedFileFor(long_number, std::string(300, '7')));
  for (const char* other : {"20261206-120000-06_1234.tif", "20261206-120000-06_123-x.tif", "20261206-120000-06_12.tif",
                            "notes.txt"}) {
    EXPECT_FALSE(IsReceivedFileFor(inbox / other, "06 123")) << other;
  }
}

}  // namespace
}  // namespace qvfax::core
