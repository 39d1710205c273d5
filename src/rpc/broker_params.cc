#include "rpc/broker_params.h"

#include <fmt/format.h>

#include "rpc/jsonrpc.h"
#include "rpc/surface.h"

namespace qvfax::rpc {

int64_t IntegerParam(const nlohmann::json& params, const char* name, const char* what) {
  auto it = params.find(name);
  if (it == params.end() || !it->is_number_integer()) {
    throw SurfaceError(codes::kInvalidParams, fmt::format("params.{} must be {}", name, what));
  }
  return it->get<int64_t>();
}

std::string RequiredText(const nlohmann::json& params, const char* name) {
  auto it = params.find(name);
  if (it == params.end() || !it->is_string()) {
    throw SurfaceError(codes::kInvalidParams, fmt::format("params.{} must be a string", name));
  }
  return it->get<std::string>();
}

std::string OptionalText(const nlohmann::json& params, const char* name) {
  auto it = params.find(name);
  if (it == params.end()) return "";
  return RequiredText(params, name);
}

}  // namespace qvfax::rpc
