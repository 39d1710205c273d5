// The per-user registry: keys holding named Boolean values.
#pragma once

#include <cstdint>
#include <string>

namespace qvfax {

inline constexpr uint32_t kHkeyCurrentUser = 0x80000001u;

class RegistryObject {
 public:
  virtual ~RegistryObject() = default;

  virtual bool OpenKey(const std::string& path, uint32_t root) = 0;  // whether it exists
  virtual void CreateKey(const std::string& path, uint32_t root) = 0;
  virtual void WriteBool(const std::string& name, bool value) = 0;
  virtual bool ReadBool(const std::string& name, bool default_value) = 0;
  virtual void CloseKey() = 0;
};

inline constexpr const char* kRegistryObjectClass = "QvNrRegistry.Object";

}  // namespace qvfax
