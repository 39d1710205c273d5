// Documents left by sends whose process was killed are removed; those of
// running processes, and every other file, stay.
#include "engines/core/leftovers.h"

#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include <gtest/gtest.h>

#include "tiff_maker.h"

namespace qvfax::core {
namespace {

TEST(RemoveLeftoverSends, RemovesOnlyTheDocumentsOfProcessesThatAreGone) {
  const std::filesystem::path folder = testing::ScratchPath("leftovers");
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ::waitpid(gone, nullptr, 0);
  const std::string dead = ".sending-" + std::to_string(gone) + "-0x1.tif";
  const std::string mine = ".sending-" + std::to_string(::getpid()) + "-0x2.tif";
  for (const std::string& name : {dead, mine, std::string("20261206-120000-0612.tif"), std::string(".sending-x-1.tif")}) {
    std::ofstream(folder / name) << "pages";
  }
  EXPECT_EQ(RemoveLeftoverSends(folder), 1);
  EXPECT_FALSE(std::filesystem::exists(folder / dead));
  EXPECT_TRUE(std::filesystem::exists(folder / mine));
  EXPECT_TRUE(std::filesystem::exists(folder / "20261206-120000-0612.tif"));
  EXPECT_TRUE(std::filesystem::exists(folder / ".sending-x-1.tif"));
  EXPECT_EQ(RemoveLeftoverSends(folder / "missing"), 0);
}

}  // namespace
}  // namespace qvfax::core
