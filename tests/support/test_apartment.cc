#include "test_apartment.h"

#include "components/standins.h"
#include "status/status_document.h"
#include "values/res_dll.h"

namespace qvfax::testing {

TestApartment::TestApartment()
    : clock(std::make_shared<ManualClock>()), status_publisher(std::make_shared<CountingPublisher>()) {
  context.clock = clock;
  context.registry = std::make_shared<ComponentRegistry>();
  RegisterStandIns(*context.registry);
  context.resources = std::make_shared<QvBkgFaxVmResDll>();
  context.status_publisher = status_publisher;
  scope_ = std::make_unique<ApartmentScope>(context);
}

TestApartment::~TestApartment() = default;

void TestApartment::BuildEmptyDocument() {
  context.document = StatusDocument::Create();
  context.document->dom().append_child("VavUvaRazUr");
}

}  // namespace qvfax::testing
