// Requests whose answer may be long in coming (documents being prepared, a
// job waited for): while one is open, its client hears a "working"
// notification every 0.4 s, so a client can tell a daemon at work from one
// that stopped by silence alone.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include <nlohmann/json.hpp>

namespace qvfax::rpc {

class KeepAlive {
 public:
  using Send = std::function<bool(const std::string& line)>;  // false: the client is gone

  KeepAlive();
  ~KeepAlive();
  KeepAlive(const KeepAlive&) = delete;
  KeepAlive& operator=(const KeepAlive&) = delete;

  // Request `id` of connection `connection` is under way; `send` reaches its client.
  void Open(uint64_t connection, const nlohmann::json& id, Send send);
  // It has been answered.
  void Close(uint64_t connection, const nlohmann::json& id);

 private:
  void Run();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::pair<uint64_t, std::string>, Send> open_;
  std::atomic<size_t> open_count_{0};  // read without the lock: most answers close nothing
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace qvfax::rpc
