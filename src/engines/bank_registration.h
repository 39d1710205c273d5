// Registers a bank engine as the fax control and the fax manager library:
// each control host gets a bank of its own, and, asking next on the same
// apartment, the library is that same bank.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "components/fax_control.h"
#include "components/fax_manager.h"
#include "platform/apartment.h"
#include "platform/component_registry.h"

namespace qvfax {

template <typename Bank>
void RegisterBank(ComponentRegistry& registry, std::function<std::shared_ptr<Bank>(ApartmentContext&)> make,
                  std::function<void(std::shared_ptr<Bank>)> on_create = {}) {
  struct Made {
    std::mutex mutex;
    std::map<const ApartmentContext*, std::weak_ptr<Bank>> by_apartment;
  };
  auto made = std::make_shared<Made>();
  registry.Register<FaxControl>("FAXLib.FAX", [make, made, on_create]() -> std::shared_ptr<FaxControl> {
    auto& apartment = RequireApartment();
    auto bank = make(apartment);
    {
      std::lock_guard lock(made->mutex);
      made->by_apartment[&apartment] = bank;
    }
    if (on_create) on_create(bank);
    return bank;
  });
  registry.Register<FaxManager>("FAXMNG32.DLL", [made]() -> std::shared_ptr<FaxManager> {
    std::lock_guard lock(made->mutex);
    auto it = made->by_apartment.find(&RequireApartment());
    if (it == made->by_apartment.end()) return nullptr;
    auto bank = it->second.lock();
    made->by_apartment.erase(it);
    return bank;
  });
}

}  // namespace qvfax
