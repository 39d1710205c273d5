#include "platform/component_registry.h"

namespace qvfax {

void ComponentRegistry::RaiseCantCreate(const std::string& class_name) {
  throw AutomationError(errors::kCantCreateObject, class_name,
                        RuntimeErrorText(errors::kCantCreateObject));
}

}  // namespace qvfax
