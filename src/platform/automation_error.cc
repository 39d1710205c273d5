#include "platform/automation_error.h"

#include <fmt/format.h>

namespace qvfax {

namespace {
std::string WhatText(int32_t number, const std::string& source, const std::string& description) {
  return fmt::format("error {} ({}): {}", number, source, description);
}
}  // namespace

AutomationError::AutomationError(int32_t number, std::string source, std::string description)
    : std::runtime_error(WhatText(number, source, description)),
      number_(number),
      source_(std::move(source)),
      description_(std::move(description)) {}

std::string RuntimeErrorText(int32_t number) {
  switch (number) {
    case errors::kOverflow: return "Overflow";
    case errors::kLoadingDll: return "Error in loading DLL";
    case errors::kObjectNotSet: return "Object variable or With block variable not set";
    case errors::kCantCreateObject: return "ActiveX component can't create object";
    case errors::kActionNotSupported: return "Object doesn't support this action";
    default: return fmt::format("Application-defined or object-defined error {}", number);
  }
}

void RaiseOverflow() {
  throw AutomationError(errors::kOverflow, "QvNrVavUvaRazUr", RuntimeErrorText(errors::kOverflow));
}

void RaiseObjectNotSet() {
  throw AutomationError(errors::kObjectNotSet, "QvNrVavUvaRazUr",
                        RuntimeErrorText(errors::kObjectNotSet));
}

}  // namespace qvfax
