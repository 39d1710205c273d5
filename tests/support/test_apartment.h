// An apartment driven on the test thread with the manual clock, with the
// stand-in components registered and a status publisher that counts.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "components/text_publisher.h"
#include "platform/apartment.h"
#include "platform/manual_clock.h"

namespace qvfax::testing {

class CountingPublisher : public TextPublisher {
 public:
  std::string name;
  std::vector<std::string> texts;

  void Open(const std::string& n) override { name = n; }
  void Publish(const std::string& text) override { texts.push_back(text); }
  size_t count() const { return texts.size(); }
  const std::string& last() const { return texts.back(); }
};

class TestApartment {
 public:
  TestApartment();
  ~TestApartment();

  ApartmentContext context;
  std::shared_ptr<ManualClock> clock;
  std::shared_ptr<CountingPublisher> status_publisher;

  // Builds an empty status document with a root, as the server's build does.
  void BuildEmptyDocument();

 private:
  std::unique_ptr<ApartmentScope> scope_;
};

}  // namespace qvfax::testing
