#include "values/avanzamento.h"

#include <gtest/gtest.h>

#include "platform/automation_error.h"
#include "recording_fax_manager.h"
#include "test_apartment.h"
#include "values/ansi_text.h"

namespace qvfax {
namespace {

TEST(StringFromAnsiPointer, StopsAtNulAndAt256Bytes) {
  EXPECT_EQ(StringFromAnsiPointer(nullptr), "");
  const char with_nul[] = "14400\0ignored";
  EXPECT_EQ(StringFromAnsiPointer(with_nul), "14400");
  std::string long_text(300, 'x');
  long_text[256] = 'y';
  EXPECT_EQ(StringFromAnsiPointer(long_text.c_str()), std::string(256, 'x'));
  EXPECT_EQ(StringFromAnsiPointer("caf\xE9"), "caf\xC3\xA9");
}

TEST(StringFromAnsiPointer, ReadsWindows1252NotLatin1) {
  const std::pair<const char*, const char*> rows[] = {
      {"\x80", "\xE2\x82\xAC"},  // euro sign
      {"\x92", "\xE2\x80\x99"},  // right single quotation mark
      {"\x9F", "\xC5\xB8"},       // Y with diaeresis
      {"\x81", "\xC2\x81"},       // undefined: kept as its C1 control
      {"\xA0", "\xC2\xA0"},       // from here on as Latin-1
  };
  for (const auto& [ansi, utf8] : rows) EXPECT_EQ(StringFromAnsiPointer(ansi), utf8) << ansi;
}

TEST(TrimAtNul, CutsTheArgumentItself) {
  std::string text("ab\0cd", 5);
  EXPECT_EQ(TrimAtNul(text), "ab");
  EXPECT_EQ(text, "ab");
  std::string plain = "plain";
  EXPECT_EQ(TrimAtNul(plain), "plain");
}

class Progress : public ::testing::Test {
 protected:
  Progress() {
    apartment.context.fax_manager = manager;
    apartment.BuildEmptyDocument();
    auto root = apartment.context.document->Root();
    progress.CreaElementoContenuto(*apartment.context.document, root.append_child("Avanzamento"));
  }
  pugi::xml_node Element() { return apartment.context.document->Root().child("Avanzamento"); }

  testing::TestApartment apartment;
  std::shared_ptr<testing::RecordingFaxManager> manager =
      std::make_shared<testing::RecordingFaxManager>();
  QvBkgFaxVmAvanzamento progress;
};

TEST_F(Progress, StartsWithPageNumberZeroAndEmptyTexts) {
  EXPECT_STREQ(Element().child_value("PageNumber"), "0");
  EXPECT_STREQ(Element().child_value("Baud"), "");
  EXPECT_STREQ(Element().child_value("Status"), "");
}

TEST_F(Progress, EveryReadAsksTheManagerWritesTheElementAndPublishes) {
  manager->status = "Sending page";
  manager->baud = "9600";
  manager->page_number = 3;
  EXPECT_EQ(progress.Status(), "Sending page");
  EXPECT_EQ(progress.Status(), "Sending page");
  EXPECT_EQ(progress.Baud(), "9600");
  EXPECT_EQ(progress.PageNumber(), 3);
  EXPECT_EQ(progress.PageReady(), "");  // a null text
  EXPECT_EQ(manager->calls, (std::vector<std::string>{"GetStatusText", "GetStatusText", "GetBaudText",
                                                      "GetPageNumberInt", "GetPageReadyText"}));
  EXPECT_EQ(apartment.status_publisher->count(), 5u);
  EXPECT_STREQ(Element().child_value("PageNumber"), "3");
  EXPECT_STREQ(Element().child_value("Baud"), "9600");
}

TEST_F(Progress, AClientCreatedInstanceCallsTheManagerThenRaises91) {
  QvBkgFaxVmAvanzamento mine;
  try {
    mine.Baud();
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 91);
  }
  EXPECT_EQ(manager->calls, (std::vector<std::string>{"GetBaudText"}));
}

}  // namespace
}  // namespace qvfax
