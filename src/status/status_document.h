// The live status document of an apartment: an XML declaration followed by
// the root element. Every value object of the thread writes into it; a
// publication hands its whole text to the apartment's status publisher.
#pragma once

#include <memory>
#include <string>

#include <pugixml.hpp>

namespace qvfax {

class StatusDocument : public std::enable_shared_from_this<StatusDocument> {
 public:
  // A new document holding only the declaration; the caller appends the root.
  static std::shared_ptr<StatusDocument> Create();

  pugi::xml_document& dom() { return dom_; }
  // The second top-level node; raises 91 when the document has none.
  pugi::xml_node Root() const;
  // The root's first child element named `name`; raises 91 when missing.
  pugi::xml_node RootChild(const char* name) const;
  // The whole document as text, without added indentation.
  std::string Xml() const;
  // Hands Xml() to the status publisher of the current apartment.
  void Publish() const;

 private:
  StatusDocument() = default;
  pugi::xml_document dom_;
};

// The current apartment's document; raises 91 when none has been built.
StatusDocument& CurrentDocument();

// A value object's reference to its own element. It goes stale with the
// document it points into, and then raises 91 like a reference to nothing.
class ElementRef {
 public:
  ElementRef() = default;
  ElementRef(const StatusDocument& document, pugi::xml_node node);

  pugi::xml_node Get() const;  // raises 91 when empty or stale
  StatusDocument& Document() const;

 private:
  std::weak_ptr<const StatusDocument> document_;
  pugi::xml_node node_;
};

}  // namespace qvfax

namespace qvfax {

// Where a value object's element lives: under the root by name for the
// server's own objects, or the element handed over when the document is built
// for objects held by a container.
class ValueElement {
 public:
  explicit ValueElement(const char* root_child) : root_child_(root_child) {}

  const char* name() const { return root_child_; }
  void Adopt(const StatusDocument& document, pugi::xml_node element) {
    ref_ = ElementRef(document, element);
  }
  pugi::xml_node Locate() const;  // raises 91 when there is none
  void Publish() const;           // the document the element belongs to

 private:
  const char* root_child_;
  ElementRef ref_;
};

}  // namespace qvfax
