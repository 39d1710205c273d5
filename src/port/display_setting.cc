// The fax manager display setting, read and written through the registry object.
#include "port/display_setting.h"

#include "components/registry_object.h"
#include "server/server_state.h"
#include "values/res_dll.h"
#include "values/string_table.h"

namespace qvfax {

namespace {
std::shared_ptr<RegistryObject> OpenOrCreateKey(QvVavUvaRazUr::State& m) {
  if (!m.display_registry) {
    m.display_registry = m.apartment->registry->Create<RegistryObject>(kRegistryObjectClass);
    m.display_key = DisplaySettingKey();
  }
  auto& registry = *m.display_registry;
  if (!registry.OpenKey(m.display_key, kHkeyCurrentUser)) registry.CreateKey(m.display_key, kHkeyCurrentUser);
  return m.display_registry;
}
}  // namespace

std::string DisplaySettingKey() {
  auto& apartment = RequireApartment();
  if (!apartment.resources) RaiseObjectNotSet();
  return std::string("SOFTWARE\\") + kCompanyName + "\\" +
         apartment.resources->LoadDllString(string_table::kProductName, 255);
}

bool QvVavUvaRazUr::LeggiVisualizzaFaxManager() {
  auto registry = OpenOrCreateKey(*m_);
  const bool show = registry->ReadBool(kDisplaySettingValue, true);
  registry->CloseKey();
  return show;
}

void QvVavUvaRazUr::ScriviVisualizzaFaxManager(bool show) {
  auto registry = OpenOrCreateKey(*m_);
  registry->WriteBool(kDisplaySettingValue, show);
  registry->CloseKey();
}

}  // namespace qvfax
