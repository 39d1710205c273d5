#include <thread>

#include <gtest/gtest.h>

#include "platform/apartment.h"
#include "platform/automation_error.h"
#include "platform/component_registry.h"

namespace qvfax {
namespace {

struct Widget {
  virtual ~Widget() = default;
  virtual int Id() const { return 7; }
};
struct Gadget {};

TEST(ComponentRegistry, CreatesRegisteredClasses) {
  ComponentRegistry registry;
  registry.Register<Widget>("Lib.Widget", [] { return std::make_shared<Widget>(); });
  EXPECT_EQ(registry.Create<Widget>("Lib.Widget")->Id(), 7);
}

TEST(ComponentRegistry, RaisesCantCreateObjectForUnknownOrMismatchedClasses) {
  ComponentRegistry registry;
  registry.Register<Widget>("Lib.Widget", [] { return std::make_shared<Widget>(); });
  for (auto attempt : {+[](ComponentRegistry& r) { r.Create<Widget>("Lib.Nothing"); },
                       +[](ComponentRegistry& r) { r.Create<Gadget>("Lib.Widget"); }}) {
    try {
      attempt(registry);
      FAIL() << "created an object";
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), 429);
    }
  }
}

TEST(ApartmentScope, SetsAndRestoresTheCurrentApartment) {
  EXPECT_EQ(CurrentApartment(), nullptr);
  EXPECT_THROW(RequireApartment(), AutomationError);
  ApartmentContext outer, inner;
  {
    ApartmentScope a(outer);
    {
      ApartmentScope b(inner);
      EXPECT_EQ(CurrentApartment(), &inner);
    }
    EXPECT_EQ(CurrentApartment(), &outer);
  }
  EXPECT_EQ(CurrentApartment(), nullptr);
}

TEST(Apartment, RunsCallsOnItsOwnThreadWithItsContext) {
  Apartment apartment(std::make_shared<ComponentRegistry>(), "test");
  const auto caller = std::this_thread::get_id();
  auto [thread, has_clock] = apartment.Call([] {
    return std::make_pair(std::this_thread::get_id(), CurrentApartment() && CurrentApartment()->clock);
  });
  EXPECT_NE(thread, caller);
  EXPECT_TRUE(has_clock);
}

TEST(Apartment, PassesErrorsBackToTheCaller) {
  Apartment apartment(std::make_shared<ComponentRegistry>());
  try {
    apartment.Call([]() -> int { throw AutomationError(445, "src", "desc"); });
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 445);
    EXPECT_EQ(e.source(), "src");
  }
  EXPECT_EQ(apartment.Call([] { return 3; }), 3);  // still serving
}

TEST(RunGuarded, StopsAnEscapingErrorAtTheApartment) {
  bool after = false;
  RunGuarded("timer", [] { throw AutomationError(91, "x", "y"); });
  RunGuarded("timer", [&] { after = true; });
  EXPECT_TRUE(after);
}

}  // namespace
}  // namespace qvfax
