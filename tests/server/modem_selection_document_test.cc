#include <gtest/gtest.h>

#include "components/modem_info_list.h"
#include "platform/automation_error.h"
#include "server_fixture.h"
#include "status/status_document.h"
#include "values/coded_values.h"

namespace qvfax {
namespace {

using testing::ServerFixture;

class FixedTextModem : public ModemInfo {
 public:
  explicit FixedTextModem(std::string text) : text_(std::move(text)) {}
  std::string XmlText() const override { return text_; }

 private:
  std::string text_;
};

class InfoFaxModemElement : public ::testing::Test {
 protected:
  pugi::xml_node Root() { return f.apartment.context.document->Root(); }
  ServerFixture f;
};

TEST_F(InfoFaxModemElement, ReplacesTheElementInPlaceWithoutTheDeclaration) {
  auto& server = f.CreateWithSink();
  auto modem = std::make_shared<FixedTextModem>(
      "<?xml version=\"1.0\"?><InfoFaxModem><Porta>ttyS0</Porta></InfoFaxModem>");
  const size_t before = f.StatusPublisher().count();
  server.ImpostaInfoFaxModem(modem);
  EXPECT_EQ(server.InfoFaxModem(), modem);
  EXPECT_STREQ(Root().last_child().name(), "InfoFaxModems");
  EXPECT_STREQ(Root().child("InfoFaxModem").child_value("Porta"), "ttyS0");
  EXPECT_EQ(server.Xml().find("<?xml version=\"1.0\"?>"), std::string::npos);
  EXPECT_EQ(f.StatusPublisher().count(), before + 1);
}

TEST_F(InfoFaxModemElement, ClearingMovesAnEmptyElementToTheEnd) {
  auto& server = f.CreateWithSink();
  server.ImpostaInfoFaxModem(nullptr);
  EXPECT_STREQ(Root().last_child().name(), "InfoFaxModem");
  EXPECT_FALSE(Root().last_child().first_child());
  server.ImpostaInfoFaxModem(std::make_shared<FixedTextModem>("<InfoFaxModem><Porta>x</Porta></InfoFaxModem>"));
  EXPECT_STREQ(Root().last_child().child_value("Porta"), "x");
}

TEST_F(InfoFaxModemElement, RefusesAChangeWhileThePortIsOpen) {
  auto& server = f.CreateWithSink();
  auto first = std::make_shared<FixedTextModem>("<InfoFaxModem><Porta>a</Porta></InfoFaxModem>");
  server.ImpostaInfoFaxModem(first);
  server.PortStatus()->ImpostaCodice(0);
  const std::string before = server.Xml();
  try {
    server.ImpostaInfoFaxModem(std::make_shared<FixedTextModem>("<InfoFaxModem/>"));
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 445);
    EXPECT_EQ(e.source(), "QvNrVavUvaRazUr");
  }
  EXPECT_EQ(server.Xml(), before);
  EXPECT_EQ(server.InfoFaxModem(), first);
}

TEST_F(InfoFaxModemElement, TextThatDoesNotParseLeavesTheOldElementButTheNewSelection) {
  auto& server = f.CreateWithSink();
  auto broken = std::make_shared<FixedTextModem>("<InfoFaxModem>");
  EXPECT_THROW(server.ImpostaInfoFaxModem(broken), AutomationError);
  EXPECT_EQ(server.InfoFaxModem(), broken);
  EXPECT_TRUE(Root().child("InfoFaxModem"));
}

TEST_F(InfoFaxModemElement, ARebuildEmptiesTheElementButKeepsTheSelection) {
  auto& server = f.CreateWithSink();
  auto modem = std::make_shared<FixedTextModem>("<InfoFaxModem><Porta>a</Porta></InfoFaxModem>");
  server.ImpostaInfoFaxModem(modem);
  server.Inizializza();
  EXPECT_FALSE(Root().child("InfoFaxModem").first_child());
  EXPECT_EQ(server.InfoFaxModem(), modem);
}

}  // namespace
}  // namespace qvfax
