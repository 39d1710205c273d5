// The client side of the protocol: requests with their answers, and, while it
// waits, the daemon's own requests (sink notifications) and notifications
// (publications), handed to the callbacks given here.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

namespace qvfax::rpc {

using nlohmann::json;

class Transport {
 public:
  virtual ~Transport() = default;
  virtual void Send(const std::string& line) = 0;
  // The next line, or nothing when `timeout` passes; throws when the other side closed.
  virtual std::optional<std::string> Receive(std::chrono::milliseconds timeout) = 0;
};

// An error answer: its JSON-RPC code and message, and for an automation
// error the number, source and description.
class RemoteError : public std::runtime_error {
 public:
  RemoteError(int code, const std::string& message, json data);
  int code() const { return code_; }
  const json& data() const { return data_; }
  int32_t number() const;  // the automation error number, or 0
  std::string description() const;

 private:
  int code_;
  json data_;
};

// The daemon did not answer a request in time: it is stopped or stuck.
class CallTimeout : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Client {
 public:
  explicit Client(std::unique_ptr<Transport> transport);

  // Answers the daemon's requests; its result is sent back. Unset: null.
  std::function<json(const std::string& method, const json& params)> on_request;
  std::function<void(const std::string& method, const json& params)> on_notification;

  // How long Call waits in silence before giving up with CallTimeout.
  std::chrono::milliseconds call_timeout{30'000};

  // Sends a request and waits for its answer, serving what arrives meanwhile;
  // throws CallTimeout after call_timeout with nothing heard, std::runtime_error
  // when the daemon goes.
  json Call(const std::string& method, const json& params);
  // Serves what arrives for up to `timeout`; false when nothing came.
  bool Pump(std::chrono::milliseconds timeout);

  // The object model by handle.
  int64_t Create(const std::string& class_name);
  json Get(int64_t handle, const std::string& member, const json& args = json::array());
  int64_t GetObject(int64_t handle, const std::string& member);
  void Let(int64_t handle, const std::string& member, const json& value);
  json Invoke(int64_t handle, const std::string& member, const json& args = json::array());
  void Release(int64_t handle);

 private:
  void Serve(const std::string& line, const json* waiting_for, std::optional<json>* answer);

  std::unique_ptr<Transport> transport_;
  int64_t next_id_ = 1;
};

// Connects to a daemon's socket; throws std::runtime_error when none listens.
std::unique_ptr<Transport> ConnectUnixSocket(const std::string& path);

}  // namespace qvfax::rpc
