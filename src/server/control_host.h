// The hidden form that hosts the fax control, one per apartment: it creates
// the control through the component registry, presets its device type, and
// loads the fax manager library beside it.
#pragma once

#include <memory>

#include "platform/component_registry.h"

namespace qvfax {

class FaxControl;
class FaxManager;

inline constexpr const char* kFaxControlClass = "FAXLib.FAX";
inline constexpr const char* kFaxManagerLibrary = "FAXMNG32.DLL";

class ControlHost {
 public:
  // Raises 429 when the control or the library is not registered.
  explicit ControlHost(const ComponentRegistry& registry);

  const char* caption() const { return "Trasmissione Fax"; }
  std::shared_ptr<FaxControl> Fax() const { return fax_; }
  std::shared_ptr<FaxManager> Manager() const { return manager_; }

 private:
  std::shared_ptr<FaxControl> fax_;
  std::shared_ptr<FaxManager> manager_;
};

}  // namespace qvfax
