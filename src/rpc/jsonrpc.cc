#include "rpc/jsonrpc.h"

#include "platform/automation_error.h"

namespace qvfax::rpc {

std::variant<Message, Failure> Parse(const std::string& line) {
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
