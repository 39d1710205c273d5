// Building the member tables of the published surface.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <typeinfo>

#include "rpc/jsonrpc.h"
#include "rpc/surface.h"

namespace qvfax::rpc::detail {

using Member = std::function<Value(void* self, const json& args)>;

struct ClassTable {
  std::map<std::string, Member> gets, lets, calls;
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

template <typename T>
class Builder {
 public:
  explicit Builder(const char* class_name) : table_(Tables()[class_name]) {}

  template <typename F>
  Builder& Get(const char* name, F f) {
    table_.gets[name] = [f](void* self, const json& args) -> Value { return f(*static_cast<T*>(self), args); };
    return *this;
  }
  template <typename F>
  Builder& Let(const char* name, F f) {
    table_.lets[name] = [f](void* self, const json& args) -> Value {
      f(*static_cast<T*>(self), json::array({args}));
      return json();
    };
    return *this;
  }
  template <typename F>
  Builder& Call(const char* name, F f) {
    table_.calls[name] = [f](void* self, const json& args) -> Value { return f(*static_cast<T*>(self), args); };
    return *this;
  }

 private:
  ClassTable& table_;
};

void RegisterServerSurface();
void RegisterValueSurface();

}  // namespace qvfax::rpc::detail
