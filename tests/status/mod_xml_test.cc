#include "status/mod_xml.h"

#include <gtest/gtest.h>

#include "platform/automation_error.h"
#include "status/status_document.h"
#include "test_apartment.h"

namespace qvfax {
namespace {

TEST(ElementoDaTestoXml, DropsTheDeclarationAndReturnsTheLastTopLevelNode) {
  auto node = modXml::ElementoDaTestoXml(
      "<?xml version=\"1.0\"?><!-- modem --><InfoFaxModem><Porta>ttyS0</Porta></InfoFaxModem>");
  EXPECT_STREQ(node.node.name(), "InfoFaxModem");
  EXPECT_STREQ(node.node.child_value("Porta"), "ttyS0");
  EXPECT_EQ(node.document->first_child(), node.node);
}

TEST(ElementoDaTestoXml, RaisesWhenTheTextDoesNotParse) {
  EXPECT_THROW(modXml::ElementoDaTestoXml("<InfoFaxModem>"), AutomationError);
  EXPECT_THROW(modXml::ElementoDaTestoXml(""), AutomationError);
}

TEST(ImpostaTestoElemento, ReplacesTheContentOfTheFirstChildOfThatName) {
  pugi::xml_document doc;
  auto root = doc.append_child("r");
  modXml::AggiungiElementoConTesto(root, "a", "one");
  modXml::AggiungiElementoConTesto(root, "a", "two");
  root.child("a").append_child("inner");
  modXml::ImpostaTestoElemento(root, "a", "three");
  EXPECT_STREQ(root.first_child().child_value(), "three");
  EXPECT_FALSE(root.first_child().child("inner"));
  EXPECT_STREQ(root.last_child().child_value(), "two");
  EXPECT_THROW(modXml::ImpostaTestoElemento(root, "missing", "x"), AutomationError);
}

TEST(SostituisciElemento, KeepsThePositionOfTheOldElement) {
  pugi::xml_document doc;
  auto root = doc.append_child("r");
  root.append_child("InfoFaxModem");
  root.append_child("InfoFaxModems");
  modXml::SostituisciElemento(root, modXml::ElementoDaTestoXml("<InfoFaxModem><Porta>x</Porta></InfoFaxModem>"),
                              root.child("InfoFaxModem"));
  EXPECT_STREQ(root.first_child().child_value("Porta"), "x");
  EXPECT_STREQ(root.last_child().name(), "InfoFaxModems");
}

TEST(StatusDocument, SerialisesWithoutIndentationAndGoesStaleWhenReplaced) {
  testing::TestApartment apartment;
  apartment.BuildEmptyDocument();
  auto& doc = *apartment.context.document;
  modXml::AggiungiElementoConTesto(doc.Root(), "Annulla", "0");
  EXPECT_EQ(doc.Xml(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?><VavUvaRazUr><Annulla>0</Annulla></VavUvaRazUr>");
  ElementRef ref(doc, doc.Root().child("Annulla"));
  EXPECT_EQ(ref.Get(), doc.Root().child("Annulla"));
  apartment.BuildEmptyDocument();
  EXPECT_THROW(ref.Get(), AutomationError);
}

}  // namespace
}  // namespace qvfax
