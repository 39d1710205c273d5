#include "platform/vb_types.h"

#include <gtest/gtest.h>

#include "platform/automation_error.h"
#include "platform/ole_date.h"

namespace qvfax {
namespace {

TEST(ToInteger, KeepsValuesInsideTheIntegerRange) {
  EXPECT_EQ(ToInteger(-32768), -32768);
  EXPECT_EQ(ToInteger(32767), 32767);
  EXPECT_EQ(ToInteger(0), 0);
}

TEST(ToInteger, RaisesOverflowOutsideTheRange) {
  for (int64_t value : {32768LL, -32769LL, 2147483647LL, -2147483648LL}) {
    try {
      ToInteger(value);
      FAIL() << value << " converted without an error";
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), 6) << value;
    }
  }
}

TEST(BooleanText, IsTheIntegerFormOfTheBoolean) {
  EXPECT_STREQ(BooleanText(true), "-1");
  EXPECT_STREQ(BooleanText(false), "0");
}

TEST(OleDate, CountsDaysFromTheThirtiethOfDecember1899) {
  EXPECT_DOUBLE_EQ(OleDate::FromLocal(1899, 12, 30, 0, 0, 0).days, 0.0);
  EXPECT_DOUBLE_EQ(OleDate::FromLocal(1900, 1, 1, 0, 0, 0).days, 2.0);
  EXPECT_DOUBLE_EQ(OleDate::FromLocal(2026, 12, 5, 12, 0, 0).days, 46361.5);
}

TEST(OleDate, LogTextIsDayMonthYearWithDottedTime) {
  EXPECT_EQ(OleDate::FromLocal(2026, 3, 7, 8, 5, 9).LogText(), "07/03/2026 08.05.09");
  EXPECT_EQ(OleDate::FromLocal(2026, 12, 31, 23, 59, 59).LogText(), "31/12/2026 23.59.59");
}

TEST(OleDate, DocumentTextHasFifteenSignificantDigitsAndNoTrailingZeros) {
  EXPECT_EQ(OleDate{}.DocumentText(), "0");
  EXPECT_EQ(OleDate::FromLocal(2026, 12, 5, 12, 0, 0).DocumentText(), "46361.5");
  EXPECT_EQ(OleDate::FromLocal(2026, 12, 5, 9, 30, 0).DocumentText(), "46361.3958333333");
}

TEST(OleDate, AddsMilliseconds) {
  const auto start = OleDate::FromLocal(2026, 12, 5, 9, 30, 0);
  EXPECT_EQ(start.PlusMilliseconds(61000).LogText(), "05/12/2026 09.31.01");
}

}  // namespace
}  // namespace qvfax
