#include "server/control_host.h"

#include "components/fax_control.h"
#include "components/fax_manager.h"

namespace qvfax {

ControlHost::ControlHost(const ComponentRegistry& registry)
    : fax_(registry.Create<FaxControl>(kFaxControlClass)),
      manager_(registry.Create<FaxManager>(kFaxManagerLibrary)) {
  fax_->DeviceName("GCLASS1(SFC)");
}

}  // namespace qvfax
