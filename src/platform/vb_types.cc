#include "platform/vb_types.h"

#include <limits>

#include "platform/automation_error.h"

namespace qvfax {

int16_t ToInteger(int64_t value) {
  if (value < std::numeric_limits<int16_t>::min() || value > std::numeric_limits<int16_t>::max()) {
    RaiseOverflow();
  }
  return static_cast<int16_t>(value);
}

}  // namespace qvfax
