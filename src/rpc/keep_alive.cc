#include "rpc/keep_alive.h"

#include <chrono>
#include <vector>

#include "rpc/jsonrpc.h"

namespace qvfax::rpc {

namespace {
constexpr auto kInterval = std::chrono::milliseconds(400);
}

KeepAlive::KeepAlive() : thread_([this] { Run(); }) {}

KeepAlive::~KeepAlive() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_one();
  thread_.join();
}

void KeepAlive::Open(uint64_t connection, const nlohmann::json& id, Send send) {
  if (id.is_null()) return;  // a notification is never answered
  {
    std::lock_guard lock(mutex_);
    open_[{connection, id.dump()}] = std::move(send);
    open_count_ = open_.size();
  }
  changed_.notify_one();
}

void KeepAlive::Close(uint64_t connection, const nlohmann::json& id) {
  // Every answer passes here; only the few late ones were opened.
  if (id.is_null() || open_count_ == 0) return;
  std::lock_guard lock(mutex_);
  open_.erase({connection, id.dump()});
  open_count_ = open_.size();
}

void KeepAlive::Run() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    // Asleep while nothing is open: an idle daemon does not wake for this.
    if (open_.empty()) {
      changed_.wait(lock, [this] { return stopping_ || !open_.empty(); });
      continue;
    }
    changed_.wait_for(lock, kInterval, [this] { return stopping_; });
    if (stopping_) break;
    std::vector<std::pair<std::pair<uint64_t, std::string>, Send>> due(open_.begin(), open_.end());
    lock.unlock();
    std::vector<std::pair<uint64_t, std::string>> gone;
    for (const auto& [key, send] : due) {
      if (!send(Notification("working", {{"id", nlohmann::json::parse(key.second)}}))) gone.push_back(key);
    }
    lock.lock();
    for (const auto& key : gone) open_.erase(key);
    open_count_ = open_.size();
  }
}

}  // namespace qvfax::rpc
