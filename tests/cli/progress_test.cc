#include "cli/progress.h"

#include <gtest/gtest.h>

#include "cli/fax_session.h"

namespace qvfax::cli {
namespace {

TEST(Progress, ShowsABarOnATerminalAndALineElsewhere) {
  const Progress p{2, 5, "14400", "Sending page 2"};
  EXPECT_EQ(ProgressBar(p, 10), "[####------]  2/5 pages  14400 bps  Sending page 2");
  EXPECT_EQ(ProgressLine(p), "page 2/5, 14400 bps, Sending page 2");
  EXPECT_EQ(ProgressBar({0, 0, "", "Dialing"}, 4), "[----]  0/0 pages  - bps  Dialing");
  EXPECT_EQ(ProgressBar({9, 3, "9600", "x"}, 4), "[####]  9/3 pages  9600 bps  x");
}

TEST(ClassList, NamesTheClassesOfTheFlags) {
  EXPECT_EQ(ClassList(15), "1,1.0,2,2.0");
  EXPECT_EQ(ClassList(10), "1.0,2.0");
  EXPECT_EQ(ClassList(0), "");
}

}  // namespace
}  // namespace qvfax::cli
