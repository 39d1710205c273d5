// Registers the Linux stand-ins of the outside components under their class
// names, so the server creates them as it would create the real ones.
#pragma once

#include "platform/component_registry.h"

namespace qvfax {

inline constexpr const char* kTimerClass = "QvNrDllTimer.Timer";

void RegisterStandIns(ComponentRegistry& registry);

}  // namespace qvfax
