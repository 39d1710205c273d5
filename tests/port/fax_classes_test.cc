#include "port/fax_classes.h"

#include <gtest/gtest.h>

namespace qvfax {
namespace {

TEST(ClassiFaxFromList, SetsOneFlagPerClassFound) {
  struct Row {
    const char* classes;
    int32_t flags;
  };
  for (const Row& row : {Row{"1,1.0,2,2.0", 15}, Row{"1.0,2.0", 10}, Row{"1,2.0", 9}, Row{"1.0", 2},
                         Row{"1.0,1", 2}, Row{"2", 4}, Row{"", 0}, Row{"8", 0}, Row{"2.0,2", 8}}) {
    EXPECT_EQ(ClassiFaxFromList(row.classes), row.flags) << row.classes;
  }
}

TEST(ClassMismatch, AppliesTheRuleOfTheDeviceType) {
  const char* kClass1 = "The selected modem does not support Class 1";
  const char* kClass10 = "The selected modem does not support Class 1.0";
  const char* kClass2 = "The selected modem does not support Class 2";
  const char* kClass20 = "The selected modem does not support Class 2.0";
  struct Row {
    const char* device;
    const char* classes;
    const char* message;  // nullptr: accepted
  };
  const Row rows[] = {
      {"GCLASS1(SFC)", "1.0", kClass1},
      {"GCLASS1(SFC)", "1.0,1", kClass1},
      {"GCLASS1(SFC)", "1,1.0", nullptr},
      {"GH14.4F(HFC)", "2,2.0", kClass1},
      {"GU.S.R14.4F(HFC)", "1", nullptr},
      {"GCLASS1.0(HFC)", "1,2", kClass10},
      {"GCLASS1.0(SFC)", "2,1.0", nullptr},
      {"GCLASS2.0", "2", kClass20},
      {"GCLASS2.0 MULTITECH", "1,2.0", nullptr},
      {"GCLASS2R", "2", nullptr},
      {"GCLASS2S/RF/", "2.0", kClass2},
      {"GCLASS2R", "2.0,2", kClass2},
      {"SOMETHING ELSE", "", nullptr},
      {"gclass1(sfc)", "2", nullptr},
  };
  for (const Row& row : rows) {
    const char* got = ClassMismatch(row.device, row.classes);
    if (row.message) {
      ASSERT_NE(got, nullptr) << row.device << " " << row.classes;
      EXPECT_STREQ(got, row.message) << row.device << " " << row.classes;
    } else {
      EXPECT_EQ(got, nullptr) << row.device << " " << row.classes << ": " << got;
    }
  }
}

}  // namespace
}  // namespace qvfax
