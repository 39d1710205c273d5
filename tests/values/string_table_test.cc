#include <gtest/gtest.h>

#include "test_apartment.h"
#include "values/res_dll.h"
#include "values/string_table.h"

namespace qvfax {
namespace {

TEST(StringTable, HasFiveHundredAndSixEntries) { EXPECT_EQ(string_table::Size(), 506u); }

TEST(StringTable, KeepsEveryByteOfItsTexts) {
  struct Row {
    int32_t id;
    const char* text;
  };
  const Row rows[] = {
      {100, "Nessuna"},
      {302, "Bassa  (204 x 98 dpi)"},
      {233, "OffHooh"},
      {1654, "Incompatible modem or com port ( invalid Class selected )\xC2\xA0"},
      {1737, " "},
      {1767, " "},
      {1849, "Page Resent 3 times and stopped"},
      {10003, " "},
      {10165, "There weren't any ports open before an operation (SendFaxObj) which needed one."},
      {20000, "Server inizializzato"},
      {20001, "Server terminato"},
  };
  for (const auto& row : rows) {
    auto text = string_table::Find(row.id);
    ASSERT_TRUE(text.has_value()) << row.id;
    EXPECT_EQ(*text, row.text) << row.id;
  }
}

TEST(StringTable, HasNoEntryForTheAbsentIds) {
  for (int32_t id : {0, 107, 204, 1840, 1842, 1843, 1844, 1847, 10177, 20002}) {
    EXPECT_FALSE(string_table::Find(id).has_value()) << id;
  }
}

TEST(LoadDllString, GivesTheMissingResourceTextForAbsentIds) {
  QvBkgFaxVmResDll loader;
  EXPECT_EQ(loader.LoadDllString(1840), "Manca la risora: 1840 QvNrVavUvaRazUr");
  EXPECT_EQ(loader.LoadDllString(204, 255), "Manca la risora: 204 QvNrVavUvaRazUr");
  EXPECT_EQ(loader.LoadDllString(-5), "Manca la risora: -5 QvNrVavUvaRazUr");
  EXPECT_EQ(loader.LoadDllString(1737), " ");
}

TEST(DllName, RecordsError48WithoutRaisingWhenTheLibraryDoesNotLoad) {
  QvBkgFaxVmResDll loader;
  loader.DllName("/nonexistent/library.so");
  EXPECT_EQ(loader.DllName(), "");
  EXPECT_EQ(loader.LastError().number, 48);
  EXPECT_EQ(loader.LastError().description, "Error in loading DLL: /nonexistent/library.so");
}

TEST(DllName, RemembersALibraryThatLoads) {
  QvBkgFaxVmResDll loader;
  loader.DllName("libc.so.6");
  EXPECT_EQ(loader.DllName(), "libc.so.6");
  EXPECT_EQ(loader.LastError().number, 0);
}

TEST(DescribeCode, AppliesTheBaseAndTheAbsoluteRule) {
  testing::TestApartment apartment;
  EXPECT_EQ(DescribeCode(10000, -34, true), DescribeCode(10000, 34, true));
  EXPECT_EQ(DescribeCode(10000, -20, true), "Not enough memory to allocate a memory block.");
  EXPECT_EQ(DescribeCode(201, 3), "Manca la risora: 204 QvNrVavUvaRazUr");
}

TEST(DescribeCode, RaisesOverflowWhenTheIdLeavesThe32BitRange) {
  testing::TestApartment apartment;
  for (auto [base, code, absolute] :
       {std::tuple{1600, INT32_MAX, false}, std::tuple{10000, INT32_MIN, true},
        std::tuple{10000, INT32_MAX - 5, true}}) {
    try {
      DescribeCode(base, code, absolute);
      FAIL() << code;
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), 6);
    }
  }
  EXPECT_EQ(DescribeCode(201, INT32_MIN), "Manca la risora: -2147483447 QvNrVavUvaRazUr");
}

}  // namespace
}  // namespace qvfax
