#include "status/status_document.h"

#include "components/text_publisher.h"
#include "platform/apartment.h"
#include "platform/automation_error.h"
#include "status/mod_xml.h"

namespace qvfax {

std::shared_ptr<StatusDocument> StatusDocument::Create() {
  std::shared_ptr<StatusDocument> doc(new StatusDocument());
  auto decl = doc->dom_.append_child(pugi::node_declaration);
  decl.append_attribute("version") = "1.0";
  decl.append_attribute("encoding") = "UTF-8";
  return doc;
}

pugi::xml_node StatusDocument::Root() const {
  auto first = dom_.first_child();
  auto second = first ? first.next_sibling() : pugi::xml_node();
  if (!second) RaiseObjectNotSet();
  return second;
}

pugi::xml_node StatusDocument::RootChild(const char* name) const {
  auto child = Root().child(name);
  if (!child) RaiseObjectNotSet();
  return child;
}

std::string StatusDocument::Xml() const {
  modXml::StringWriter writer;
  writer.text.reserve(8192);
  dom_.save(writer, "", pugi::format_raw);
  return std::move(writer.text);
}

void StatusDocument::Publish() const {
  auto& apartment = RequireApartment();
  if (!apartment.status_publisher) RaiseObjectNotSet();
  apartment.status_publisher->Publish(Xml());
}

StatusDocument& CurrentDocument() {
  auto& apartment = RequireApartment();
  if (!apartment.document) RaiseObjectNotSet();
  return *apartment.document;
}

ElementRef::ElementRef(const StatusDocument& document, pugi::xml_node node)
    : document_(document.weak_from_this()), node_(node) {}

pugi::xml_node ElementRef::Get() const {
  if (!node_ || document_.expired()) RaiseObjectNotSet();
  return node_;
}

StatusDocument& ElementRef::Document() const {
  auto doc = document_.lock();
  if (!doc) RaiseObjectNotSet();
  return const_cast<StatusDocument&>(*doc);
}

}  // namespace qvfax

namespace qvfax {

pugi::xml_node ValueElement::Locate() const {
  if (root_child_) return CurrentDocument().RootChild(root_child_);
  return ref_.Get();
}

void ValueElement::Publish() const {
  if (root_child_) {
    CurrentDocument().Publish();
  } else {
    ref_.Document().Publish();
  }
}

}  // namespace qvfax
