// The registry's stand-in: a JSON file of keys and values, one per user, read
// at each open and replaced atomically at each write.
#pragma once

#include <filesystem>

#include "components/registry_object.h"

namespace qvfax {

class RegistryFile : public RegistryObject {
 public:
  explicit RegistryFile(std::filesystem::path file);

  bool OpenKey(const std::string& path, uint32_t root) override;
  void CreateKey(const std::string& path, uint32_t root) override;
  void WriteBool(const std::string& name, bool value) override;
  bool ReadBool(const std::string& name, bool default_value) override;
  void CloseKey() override { key_.clear(); }

  // $XDG_CONFIG_HOME/qvfax/registry.json
  static std::filesystem::path DefaultFile();

 private:
  std::filesystem::path file_;
  std::string key_;  // "HKCU\\SOFTWARE\\..." once a key is open
};

}  // namespace qvfax
