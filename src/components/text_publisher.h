// A text publisher: opened under a name, then each Publish replaces what was
// published under that name before.
#pragma once

#include <string>

namespace qvfax {

class TextPublisher {
 public:
  virtual ~TextPublisher() = default;

  virtual void Open(const std::string& name) = 0;
  virtual void Publish(const std::string& text) = 0;
};

inline constexpr const char* kTextPublisherClass = "QvNrPublisher.Text";

}  // namespace qvfax
