#include "rpc/jsonrpc.h"

#include <string_view>

#include <fmt/format.h>

#include "platform/automation_error.h"

namespace qvfax::rpc {

namespace {

// Whether `text` nests arrays and objects deeper than `limit`. Looked at before
// parsing: a document nested a hundred thousand deep parses, but copying or
// writing it out again recurses once a level and overflows the stack.
bool NestedDeeperThan(std::string_view text, int limit) {
  int depth = 0;
  bool in_string = false, escaped = false;
  for (const char c : text) {
    if (in_string) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      if (++depth > limit) return true;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return false;
}

}  // namespace

std::variant<Message, Failure> Parse(const std::string& line) {
  if (NestedDeeperThan(line, kMaxNesting)) {
    return Failure{codes::kParseError, fmt::format("Parse error: nested deeper than {} levels", kMaxNesting), nullptr};
  }
  json doc = json::parse(line, nullptr, /*allow_exceptions=*/false);
  if (doc.is_discarded()) return Failure{codes::kParseError, "Parse error", nullptr};
  if (!doc.is_object()) return Failure{codes::kInvalidRequest, "Invalid Request: not an object", nullptr};
  auto version = doc.find("jsonrpc");
  if (version == doc.end() || *version != "2.0") {
    return Failure{codes::kInvalidRequest, "Invalid Request: jsonrpc must be \"2.0\"", nullptr};
  }
  Message message;
  if (auto id = doc.find("id"); id != doc.end()) {
    if (!id->is_string() && !id->is_number_integer() && !id->is_null()) {
      return Failure{codes::kInvalidRequest, "Invalid Request: id must be a string or an integer", nullptr};
    }
    message.id = *id;
  }
  if (auto method = doc.find("method"); method != doc.end()) {
    if (!method->is_string()) return Failure{codes::kInvalidRequest, "Invalid Request: method must be a string", nullptr};
    message.method = method->get<std::string>();
    message.params = doc.value("params", json::object());
    if (!message.params.is_object() && !message.params.is_array()) {
      return Failure{codes::kInvalidRequest, "Invalid Request: params must be an object or an array", nullptr};
    }
    return message;
  }
  if (doc.contains("result") || doc.contains("error")) {
    message.is_response = true;
    message.result = doc.value("result", json());
    if (doc.contains("error")) message.error = doc["error"];
    return message;
  }
  return Failure{codes::kInvalidRequest, "Invalid Request: no method", nullptr};
}

std::string Result(const json& id, const json& result) {
  return json{{"jsonrpc", "2.0"}, {"id", id}, {"result", result}}.dump(-1, ' ', false,
                                                                          json::error_handler_t::replace);
}

std::string ResultText(const json& id, const std::string& result) {
  return "{\"id\":" + id.dump() + ",\"jsonrpc\":\"2.0\",\"result\":" + result + "}";
}

std::string Error(const json& id, const Failure& failure) {
  json error{{"code", failure.code}, {"message", failure.message}};
  if (!failure.data.is_null()) error["data"] = failure.data;
  return json{{"jsonrpc", "2.0"}, {"id", id}, {"error", error}}.dump(-1, ' ', false,
                                                                      json::error_handler_t::replace);
}

std::string Request(const json& id, const std::string& method, const json& params) {
  return json{{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}}.dump(
      -1, ' ', false, json::error_handler_t::replace);
}

std::string Notification(const std::string& method, const json& params) {
  return json{{"jsonrpc", "2.0"}, {"method", method}, {"params", params}}.dump(-1, ' ', false,
                                                                                json::error_handler_t::replace);
}

Failure FromAutomationError(const AutomationError& error) {
  return Failure{codes::kAutomationError, error.description(),
                 json{{"number", error.number()}, {"source", error.source()}, {"description", error.description()}}};
}

}  // namespace qvfax::rpc
