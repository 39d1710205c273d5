#include "values/res_dll.h"

#include <dlfcn.h>

#include <limits>

#include <fmt/format.h>

#include "platform/apartment.h"
#include "platform/automation_error.h"
#include "platform/vb_types.h"
#include "values/string_table.h"

namespace qvfax {

QvBkgFaxVmResDll::~QvBkgFaxVmResDll() {
  if (handle_) ::dlclose(handle_);
}

std::string QvBkgFaxVmResDll::LoadDllString(int32_t index, int32_t) const {
  if (auto text = string_table::Find(index)) return std::string(*text);
  return fmt::format("Manca la risora: {} {}", index, kApplicationTitle);
}

void QvBkgFaxVmResDll::DllName(const std::string& name) {
  if (handle_) ::dlclose(handle_);
  handle_ = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    last_error_ = {errors::kLoadingDll, "Error in loading DLL: " + name};
    name_.clear();
    return;
  }
  name_ = name;
}

std::string DescribeCode(int32_t base, int32_t code, bool absolute) {
  int64_t magnitude = code;
  if (absolute && code < 0) magnitude = -magnitude;
  // Abs() of the smallest Long overflows before the addition does.
  if (magnitude > std::numeric_limits<int32_t>::max()) RaiseOverflow();
  const int64_t id = static_cast<int64_t>(base) + magnitude;
  if (id < std::numeric_limits<int32_t>::min() || id > std::numeric_limits<int32_t>::max()) {
    RaiseOverflow();
  }
  auto& apartment = RequireApartment();
  if (!apartment.resources) RaiseObjectNotSet();
  return apartment.resources->LoadDllString(static_cast<int32_t>(id), 255);
}

}  // namespace qvfax
