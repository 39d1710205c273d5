#include "rpc/surface.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "rpc/surface_builder.h"
#include "values/coded_values.h"
#include "values/containers.h"
#include "values/avanzamento.h"

namespace qvfax::rpc {

namespace detail {

std::map<std::string, ClassTable>& Tables() {
  static std::map<std::string, ClassTable> tables;
  return tables;
}

namespace {
const json& At(const json& args, size_t index) {
  if (!args.is_array() || index >= args.size()) {
    throw SurfaceError(codes::kInvalidParams, "missing argument " + std::to_string(index + 1));
  }
  return args[index];
}
}  // namespace

int32_t Long(const json& args, size_t index) {
  const auto& v = At(args, index);
  if (!v.is_number_integer() || v.get<int64_t>() < INT32_MIN || v.get<int64_t>() > INT32_MAX) {
    throw SurfaceError(codes::kInvalidParams, "argument " + std::to_string(index + 1) + " must be a Long");
  }
  return v.get<int32_t>();
}

int16_t Integer(const json& args, size_t index) {
  const auto& v = At(args, index);
  if (!v.is_number_integer() || v.get<int64_t>() < INT16_MIN || v.get<int64_t>() > INT16_MAX) {
    throw SurfaceError(codes::kInvalidParams, "argument " + std::to_string(index + 1) + " must be an Integer");
  }
  return v.get<int16_t>();
}

bool Boolean(const json& args, size_t index) {
  const auto& v = At(args, index);
  if (!v.is_boolean()) throw SurfaceError(codes::kInvalidParams, "argument " + std::to_string(index + 1) + " must be a Boolean");
  return v.get<bool>();
}

std::string String(const json& args, size_t index) {
  const auto& v = At(args, index);
  if (!v.is_string()) throw SurfaceError(codes::kInvalidParams, "argument " + std::to_string(index + 1) + " must be a String");
  return v.get<std::string>();
}

}  // namespace detail

namespace {

void EnsureTables() {
  static std::once_flag once;
  std::call_once(once, [] {
    detail::RegisterServerSurface();
    detail::RegisterValueSurface();
  });
}

}  // namespace

Value Invoke(const Object& object, Access access, const std::string& member, const json& args) {
  EnsureTables();
  auto table = detail::Tables().find(object.class_name);
  if (table == detail::Tables().end()) throw SurfaceError(codes::kUnknownMember, "class has no published members");
  auto& members = access == Access::kGet ? table->second.gets
                  : access == Access::kLet ? table->second.lets
                                           : table->second.calls;
  auto it = members.find(member);
  if (it == members.end()) {
    const char* kind = access == Access::kGet ? "readable property" : access == Access::kLet ? "writable property" : "method";
    throw SurfaceError(codes::kUnknownMember,
                       object.class_name + " has no published " + kind + " named \"" + member + "\"");
  }
  return it->second(object.ptr.get(), args);
}

std::vector<ClassInfo> DescribeSurface() {
  EnsureTables();
  static const std::map<std::string, int> kAccessOrder{{"get", 0}, {"let", 1}, {"call", 2}};
  std::vector<ClassInfo> classes;
  for (const auto& [name, table] : detail::Tables()) {
    ClassInfo info{name, IsCreatable(name), {}};
    for (const auto& [key, member] : table.info) info.members.push_back(member);
    std::sort(info.members.begin(), info.members.end(), [](const MemberInfo& a, const MemberInfo& b) {
      if (a.name != b.name) return a.name < b.name;
      return kAccessOrder.at(a.access) < kAccessOrder.at(b.access);
    });
    classes.push_back(std::move(info));
  }
  return classes;
}

bool IsCreatable(const std::string& class_name) {
  return class_name == kServerClass || class_name == "QvBkgFaxVmToneDial" ||
         class_name == "QvBkgFaxVmTrasmissione" || class_name == "QvBkgFaxVmAvanzamento";
}

Object CreateValueObject(const std::string& class_name) {
  if (class_name == "QvBkgFaxVmToneDial") return detail::Wrap(class_name.c_str(), std::make_shared<QvBkgFaxVmToneDial>());
  if (class_name == "QvBkgFaxVmTrasmissione") {
    return detail::Wrap(class_name.c_str(), std::make_shared<QvBkgFaxVmTrasmissione>());
  }
  if (class_name == "QvBkgFaxVmAvanzamento") {
    return detail::Wrap(class_name.c_str(), std::make_shared<QvBkgFaxVmAvanzamento>());
  }
  throw SurfaceError(codes::kNotPermitted, "clients may not create " + class_name);
}

}  // namespace qvfax::rpc
