// Caller ID lines as modems print them after the first RING.
#include "engines/modem/caller_id.h"

#include <gtest/gtest.h>

#include <vector>

namespace qvfax::modem {
namespace {

TEST(CallerId, ReadsWhatModemsSayAndNothingElse) {
  struct Row {
    const char* modem;
    std::vector<std::string> lines;
    CallerId expected;
    size_t taken;  // of the lines
  } rows[] = {
      {"spaced", {"DATE = 1207", "TIME = 1432", "NMBR = 0612345678", "NAME = ROSSI MARIO"},
       {"0612345678", "ROSSI MARIO", "1207", "1432", ""}, 4},
      {"unspaced", {"DATE=0101", "TIME=0905", "NMBR=+390655501"}, {"+390655501", "", "0101", "0905", ""}, 3},
      {"long tags", {"CALLER NUMBER: x", "CALLER NUMBER = 555 0100", "caller name = Bianchi"},
       {"555 0100", "Bianchi", "", "", ""}, 2},
      {"withheld", {"DATE = 1207", "NMBR = P", "NAME = P"}, {"", "", "1207", "", "private"}, 3},
      {"out of area", {"NMBR = O"}, {"", "", "", "", "out of area"}, 1},
      // Lines of any other kind are left alone: results, queries, a modem's chatter.
      {"not caller ID", {"RING", "OK", "+FCLASS=1", "MESG = 0A4B", "CONNECT 9600"}, {}, 0},
  };
  for (const auto& row : rows) {
    CallerId id;
    size_t taken = 0;
    for (const auto& line : row.lines) taken += ReadCallerIdLine(line, id);
    EXPECT_EQ(taken, row.taken) << row.modem;
    EXPECT_EQ(id.number, row.expected.number) << row.modem;
    EXPECT_EQ(id.name, row.expected.name) << row.modem;
    EXPECT_EQ(id.date, row.expected.date) << row.modem;
    EXPECT_EQ(id.time, row.expected.time) << row.modem;
    EXPECT_EQ(id.withheld, row.expected.withheld) << row.modem;
    EXPECT_EQ(id.Heard(), row.taken > 0) << row.modem;
  }
}

}  // namespace
}  // namespace qvfax::modem
