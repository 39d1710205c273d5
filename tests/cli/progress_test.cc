#include "cli/progress.h"

#include <gtest/gtest.h>

#include "cli/fax_session.h"
#include "cli/status_summary.h"

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

// The summary names a modem and its line once, and shows no termination
// while the fax is still under way (it would be the last fax's).
TEST(StatusSummary, SaysEachThingOnceAndNoTerminationBeforeTheEnd) {
  StatusSummary s;
  s.modem = "Soft modem on line0";
  s.port = "line0";
  s.termination = {0, "Normal termination"};
  s.activity = {6, "Trasmissione fax"};
  const std::string sending = FormatSummary("Fax 1", s);
  EXPECT_NE(sending.find("Modem:       Soft modem on line0\n"), std::string::npos) << sending;
  EXPECT_EQ(sending.find("Termination:"), std::string::npos) << sending;
  s.activity = {0, "Idle"};
  s.modem = "Class 1 modem";
  const std::string ended = FormatSummary("Fax 1", s);
  EXPECT_NE(ended.find("Modem:       Class 1 modem on line0\n"), std::string::npos) << ended;
  EXPECT_NE(ended.find("Termination: Normal termination (0)"), std::string::npos) << ended;
}

}  // namespace
}  // namespace qvfax::cli
