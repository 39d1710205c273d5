// JSON-RPC 2.0 messages: parsing what arrives and building what leaves.
// Errors of the object model travel as error code kAutomationError with the
// automation error's number, source and description in `data`.
#pragma once

#include <optional>
#include <variant>
#include <string>

#include <nlohmann/json.hpp>

namespace qvfax {
class AutomationError;
}

namespace qvfax::rpc {

using nlohmann::json;

namespace codes {
inline constexpr int kParseError = -32700;
inline constexpr int kInvalidRequest = -32600;
inline constexpr int kMethodNotFound = -32601;
inline constexpr int kInvalidParams = -32602;
inline constexpr int kInternalError = -32603;
inline constexpr int kAutomationError = -32000;
inline constexpr int kUnknownHandle = -32001;
inline constexpr int kUnknownMember = -32002;
inline constexpr int kNotPermitted = -32003;
inline constexpr int kBadDocument = -32004;
inline constexpr int kRefused = -32005;  // the queue refused a job, or knows none such
inline constexpr int kLocalFailure = -32006;  // this host could not do it: no space, no permission
}  // namespace codes

// A message that arrived: a request (method and id), a notification (method,
// no id) or a response (id with result or error).
struct Message {
  json id;  // null when absent
  std::string method;
  json params;
  bool is_response = false;
  json result;
  std::optional<json> error;
};

// An error to send back: a JSON-RPC code, a message and optional data.
struct Failure {
  int code;
  std::string message;
  json data;
};

// How deep a message may nest its arrays and objects; no method needs more than a few levels.
inline constexpr int kMaxNesting = 64;

// Parses one line; a malformed message, or one nested deeper than
// kMaxNesting, gives a Failure with the code to answer.
std::variant<Message, Failure> Parse(const std::string& line);

std::string Result(const json& id, const json& result);
// The same, for a result already written as JSON text (long lists).
std::string ResultText(const json& id, const std::string& result);
std::string Error(const json& id, const Failure& failure);
std::string Request(const json& id, const std::string& method, const json& params);
std::string Notification(const std::string& method, const json& params);

// The one place where an automation error becomes a JSON-RPC error.
Failure FromAutomationError(const AutomationError& error);

}  // namespace qvfax::rpc
