#include "platform/steady_clock.h"

#include <asio/io_context.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/steady_timer.hpp>

namespace qvfax {

struct SteadyClock::Pending {
  explicit Pending(asio::io_context& loop) : timer(loop) {}
  ~Pending() { Unwatch(); }
  // The descriptor is only borrowed: released, never closed.
  void Unwatch() {
    if (watch && watch->is_open()) watch->release();
  }
  void Stop() {
    timer.cancel();
    Unwatch();
  }
  asio::steady_timer timer;
  std::unique_ptr<asio::posix::stream_descriptor> watch;
  bool done = false;
};

SteadyClock::SteadyClock(asio::io_context& loop) : loop_(loop) {}

SteadyClock::~SteadyClock() {
  for (auto& [id, pending] : pending_) pending->Stop();
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

Clock::TimerId SteadyClock::ScheduleOrReady(int fd, bool write, std::chrono::milliseconds delay,
                                            Callback callback) {
  const TimerId id = next_id_++;
  auto pending = std::make_shared<Pending>(loop_);
  pending_.emplace(id, pending);
  auto fire = [this, id, pending, cb = std::move(callback)](std::error_code ec) {
    if (ec || pending->done) return;
    pending->done = true;
    pending->Stop();
    pending_.erase(id);
    cb();
  };
  pending->timer.expires_after(delay);
  pending->timer.async_wait(fire);
  std::error_code ec;
  pending->watch = std::make_unique<asio::posix::stream_descriptor>(loop_);
  pending->watch->assign(fd, ec);
  if (!ec) {
    pending->watch->async_wait(write ? asio::posix::stream_descriptor::wait_write
                                     : asio::posix::stream_descriptor::wait_read,
                               fire);
  }
  return id;
}

void SteadyClock::Cancel(TimerId id) {
  auto it = pending_.find(id);
  if (it == pending_.end()) return;
  it->second->Stop();
  pending_.erase(it);
}

}  // namespace qvfax
