// The ports the queue sends on: those where a server object's modem
// detection finds a fax modem, learnt as any client would learn them.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/component_registry.h"

namespace qvfax::queue {

// Runs RilevaModem on an apartment of its own and lists the ports of the
// modems found; throws std::runtime_error when detection does not end in `limit`.
std::vector<std::string> DiscoverPorts(std::shared_ptr<ComponentRegistry> registry,
                                       std::chrono::milliseconds limit = std::chrono::seconds(120));

}  // namespace qvfax::queue
