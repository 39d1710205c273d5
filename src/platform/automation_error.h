// The error an automation member raises: a number, the component that raised
// it and a description, as a client of the object model sees them.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace qvfax {

namespace errors {
inline constexpr int32_t kOverflow = 6;
inline constexpr int32_t kLoadingDll = 48;
inline constexpr int32_t kObjectNotSet = 91;
inline constexpr int32_t kCantCreateObject = 429;
inline constexpr int32_t kActionNotSupported = 445;
}  // namespace errors

class AutomationError : public std::runtime_error {
 public:
  AutomationError(int32_t number, std::string source, std::string description);

  int32_t number() const { return number_; }
  const std::string& source() const { return source_; }
  const std::string& description() const { return description_; }

 private:
  int32_t number_;
  std::string source_;
  std::string description_;
};

// The runtime's own texts for the numbers the object model raises.
std::string RuntimeErrorText(int32_t number);

[[noreturn]] void RaiseOverflow();
[[noreturn]] void RaiseObjectNotSet();

}  // namespace qvfax
