#include "components/xarraydb.h"

#include <gtest/gtest.h>

#include "platform/automation_error.h"

namespace qvfax {
namespace {

TEST(XArrayDB, AppendedRowsFollowThePlaceholderRow) {
  XArrayDB table;
  table.ReDim(-1, -1, 0, 1);
  EXPECT_EQ(table.UpperBound(1), -1);
  table.AppendRows(1);
  EXPECT_EQ(table.UpperBound(1), 0);
  table.Value(0, 1, std::string("first"));
  table.AppendRows(1);
  table.Value(1, 1, std::string("second"));
  EXPECT_EQ(std::get<std::string>(table.Value(0, 1)), "first");
  EXPECT_EQ(std::get<std::string>(table.Value(1, 1)), "second");
  EXPECT_TRUE(std::holds_alternative<std::monostate>(table.Value(1, 0)));
}

TEST(XArrayDB, RedimensioningDiscardsEveryRow) {
  XArrayDB table;
  table.ReDim(-1, -1, 0, 1);
  table.AppendRows(3);
  table.ReDim(-1, -1, 0, 1);
  EXPECT_EQ(table.UpperBound(1), -1);
  EXPECT_EQ(table.Rows(), 1);
}

TEST(XArrayDB, RaisesSubscriptOutOfRangeOutsideItsBounds) {
  XArrayDB table;
  table.ReDim(-1, -1, 0, 1);
  for (auto [row, column] : {std::pair{0, 0}, std::pair{-1, 2}, std::pair{-2, 0}}) {
    try {
      table.Value(row, column, 1);
      FAIL() << row << "," << column;
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), 9);
    }
  }
  EXPECT_THROW(table.UpperBound(3), AutomationError);
}

}  // namespace
}  // namespace qvfax
