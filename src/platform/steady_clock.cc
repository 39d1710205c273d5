#include "platform/steady_clock.h"

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>

namespace qvfax {

struct SteadyClock::Pending {
  explicit Pending(asio::io_context& loop) : timer(loop) {}
  asio::steady_timer timer;
};

SteadyClock::SteadyClock(asio::io_context& loop) : loop_(loop) {}

SteadyClock::~SteadyClock() {
  for (auto& [id, pending] : pending_) pending->timer.cancel();
}

std::chrono::milliseconds SteadyClock::Now() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
}

OleDate SteadyClock::LocalNow() const {
  return OleDate::FromSystemTime(std::chrono::system_clock::now());
}

Clock::TimerId SteadyClock::Schedule(std::chrono::milliseconds delay, Callback callback) {
  const TimerId id = next_id_++;
  auto pending = std::make_shared<Pending>(loop_);
  pending->timer.expires_after(delay);
  pending_.emplace(id, pending);
  pending->timer.async_wait([this, id, pending, cb = std::move(callback)](std::error_code ec) {
    if (ec) return;  // cancelled: operation_aborted is the normal way out
    pending_.erase(id);
    cb();
  });
  return id;
}

void SteadyClock::Cancel(TimerId id) {
  auto it = pending_.find(id);
  if (it == pending_.end()) return;
  it->second->timer.cancel();
  pending_.erase(it);
}

}  // namespace qvfax
