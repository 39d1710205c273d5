// The published surface: what a client may get, let and call on each class,
// by member name. Internal operations of the object model are not listed and
// so cannot be reached. Every invocation runs on the object's apartment.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include <nlohmann/json.hpp>

namespace qvfax::rpc {

using nlohmann::json;

// An object of the model, as the daemon holds it.
struct Object {
  std::string class_name;
  std::shared_ptr<void> ptr;
};

// A member's result: a plain value, or an object the caller gets a handle for.
using Value = std::variant<json, Object>;

enum class Access { kGet, kLet, kCall };

// A request the surface refuses: no such member, or arguments of the wrong kind.
class SurfaceError : public std::runtime_error {
 public:
  SurfaceError(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
  int code() const { return code_; }

 private:
  int code_;
};

// Raises SurfaceError or the member's own AutomationError.
Value Invoke(const Object& object, Access access, const std::string& member, const json& args);

// One published member: how it is reached, and what it takes and gives.
struct MemberInfo {
  std::string name;
  std::string access;  // "get", "let" or "call"
  std::string type;    // Long, Integer, Boolean, String, Date, Variant, none, or a class name
  std::string params;  // for a call: "[]", or its arguments as "[name: Type, ...]"
};

struct ClassInfo {
  std::string name;
  bool creatable = false;
  std::vector<MemberInfo> members;  // ordered by name, then get, let, call
};

// The whole published surface, classes ordered by name.
std::vector<ClassInfo> DescribeSurface();

// Classes clients may create; the server class is created by the broker itself.
bool IsCreatable(const std::string& class_name);
// A new object of a creatable value class (run on an apartment).
Object CreateValueObject(const std::string& class_name);

inline constexpr const char* kServerClass = "QvVavUvaRazUr";

}  // namespace qvfax::rpc
