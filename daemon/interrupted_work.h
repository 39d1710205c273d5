// What the daemon tidies at start after one that was killed.
#pragma once

namespace qvfax::daemon {

// Publishes the last status document again as idle when it still shows work
// in progress: its daemon is gone, and nothing is being sent.
void ClearInterruptedStatus();

}  // namespace qvfax::daemon
