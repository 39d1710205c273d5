// The fax classes a modem reports, as a list such as "1,1.0,2,2.0". A plain
// class 1 (or 2) counts only when the first "1" (or "2") of the list is not
// the start of "1.0" (or "2.0"); modems list the classes in no fixed order.
#pragma once

#include <cstdint>
#include <string>

namespace qvfax {

// The ClassiFax flags of a class list: 1 class 1, 2 class 1.0, 4 class 2, 8 class 2.0.
int32_t ClassiFaxFromList(const std::string& classes);

// The message to log when a modem with `classes` cannot serve `device_type`,
// or nullptr when it can (or when the device type needs no check).
const char* ClassMismatch(const std::string& device_type, const std::string& classes);

}  // namespace qvfax
