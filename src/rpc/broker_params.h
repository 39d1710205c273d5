// The params of a method, read or refused with an invalid-params error that
// names the one that is wrong.
#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

namespace qvfax::rpc {

// params.NAME, an integer; refused as "params.NAME must be WHAT".
int64_t IntegerParam(const nlohmann::json& params, const char* name, const char* what);
// params.NAME, a string that must be there.
std::string RequiredText(const nlohmann::json& params, const char* name);
// params.NAME, a string, or "" when it is not there.
std::string OptionalText(const nlohmann::json& params, const char* name);

}  // namespace qvfax::rpc
