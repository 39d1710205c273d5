// Class name -> factory, standing in for class registration: creating a class
// nobody registered raises error 429, as creating an unregistered component does.
#pragma once

#include <any>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/automation_error.h"

namespace qvfax {

class ComponentRegistry {
 public:
  template <typename Interface>
  using Factory = std::function<std::shared_ptr<Interface>()>;

  template <typename Interface>
  void Register(const std::string& class_name, Factory<Interface> factory) {
    factories_[class_name] = std::move(factory);
  }

  void Unregister(const std::string& class_name) { factories_.erase(class_name); }
  bool IsRegistered(const std::string& class_name) const {
    return factories_.count(class_name) != 0;
  }

  // Raises 429 when the class is unknown or registered for another interface.
  template <typename Interface>
  std::shared_ptr<Interface> Create(const std::string& class_name) const {
    auto it = factories_.find(class_name);
    if (it != factories_.end()) {
      if (auto* factory = std::any_cast<Factory<Interface>>(&it->second)) {
        if (auto object = (*factory)()) return object;
      }
    }
    RaiseCantCreate(class_name);
  }

 private:
  [[noreturn]] static void RaiseCantCreate(const std::string& class_name);

  std::map<std::string, std::any> factories_;
};

}  // namespace qvfax
