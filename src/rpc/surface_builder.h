// Building the member tables of the published surface. Each member records
// its type, taken from what its function returns, so the surface can
// describe itself to clients and to the protocol document.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <type_traits>

#include "rpc/jsonrpc.h"
#include "rpc/surface.h"

namespace qvfax::rpc::detail {

using Member = std::function<Value(void* self, const json& args)>;

struct ClassTable {
  std::map<std::string, Member> gets, lets, calls;
  std::map<std::string, MemberInfo> info;  // by access and name: "get Codice"
};

std::map<std::string, ClassTable>& Tables();

// Argument readers: raise SurfaceError(kInvalidParams) on a wrong kind.
int32_t Long(const json& args, size_t index);
int16_t Integer(const json& args, size_t index);
bool Boolean(const json& args, size_t index);
std::string String(const json& args, size_t index);

template <typename T>
Object Wrap(const char* class_name, std::shared_ptr<T> object) {
  return Object{class_name, std::static_pointer_cast<void>(std::move(object))};
}

// The automation type a C++ result stands for.
template <typename R>
constexpr const char* TypeName() {
  if constexpr (std::is_void_v<R>) return "none";
  else if constexpr (std::is_same_v<R, bool>) return "Boolean";
  else if constexpr (std::is_same_v<R, int16_t>) return "Integer";
  else if constexpr (std::is_same_v<R, int32_t>) return "Long";
  else if constexpr (std::is_same_v<R, double>) return "Date";
  else if constexpr (std::is_same_v<R, std::string>) return "String";
  else return "Variant";
}

template <typename T>
class Builder {
 public:
  explicit Builder(const char* class_name) : table_(Tables()[class_name]) {}

  template <typename F>
  Builder& Get(const char* name, F f) {
    using R = std::invoke_result_t<F, T&, const json&>;
    table_.gets[name] = [f](void* self, const json& args) -> Value { return json(f(*static_cast<T*>(self), args)); };
    Describe("get", name, TypeName<R>(), "");
    return *this;
  }
  // A property holding an object of `class_name`; null while there is none.
  template <typename F>
  Builder& GetObject(const char* name, const char* class_name, F f) {
    table_.gets[name] = [f, class_name](void* self, const json& args) -> Value {
      auto object = f(*static_cast<T*>(self), args);
      if (!object) return json();
      return Wrap(class_name, std::move(object));
    };
    Describe("get", name, class_name, "");
    return *this;
  }
  template <typename F>
  Builder& Let(const char* name, const char* type, F f) {
    table_.lets[name] = [f](void* self, const json& args) -> Value {
      f(*static_cast<T*>(self), json::array({args}));
      return json();
    };
    Describe("let", name, type, "");
    return *this;
  }
  template <typename F>
  Builder& Call(const char* name, F f) {
    return Call(name, "[]", f);
  }
  template <typename F>
  Builder& Call(const char* name, const char* params, F f) {
    using R = std::invoke_result_t<F, T&, const json&>;
    table_.calls[name] = [f](void* self, const json& args) -> Value {
      if constexpr (std::is_void_v<R>) {
        f(*static_cast<T*>(self), args);
        return json();
      } else {
        return json(f(*static_cast<T*>(self), args));
      }
    };
    Describe("call", name, TypeName<R>(), params);
    return *this;
  }
  template <typename F>
  Builder& CallObject(const char* name, const char* params, const char* class_name, F f) {
    table_.calls[name] = [f, class_name](void* self, const json& args) -> Value {
      return Wrap(class_name, f(*static_cast<T*>(self), args));
    };
    Describe("call", name, class_name, params);
    return *this;
  }

 private:
  void Describe(const char* access, const char* name, const char* type, const char* params) {
    table_.info[std::string(access) + " " + name] = MemberInfo{name, access, type, params};
  }
  ClassTable& table_;
};

void RegisterServerSurface();
void RegisterValueSurface();

}  // namespace qvfax::rpc::detail
