#include "platform/steady_clock.h"

#include <asio/io_context.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/steady_timer.hpp>

namespace qvfax {

struct SteadyClock::Watched {
  explicit Watched(asio::io_context& loop) : descriptor(loop) {}
  asio::posix::stream_descriptor descriptor;
};

struct SteadyClock::Pending {
  explicit Pending(asio::io_context& loop) : timer(loop) {}
  void Stop() {
    timer.cancel();
    if (watch && watch->is_open()) watch->cancel();
  }
  asio::steady_timer timer;
  asio::posix::stream_descriptor* watch = nullptr;  // owned by the clock's watched descriptors
  bool done = false;
};

SteadyClock::SteadyClock(asio::io_context& loop) : loop_(loop) {}

SteadyClock::~SteadyClock() {
  for (auto& [id, pending] : pending_) pending->Stop();
  for (auto& [fd, watched] : watched_) {
    if (watched->descriptor.is_open()) watched->descriptor.release();
  }
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
  // A descriptor stays registered with the event loop from one wait to the
  // next: a call waits on its port some thousand times, and registering it
  // anew each time cost four system calls a wait.
  auto& watched = watched_[fd];
  if (!watched) {
    watched = std::make_unique<Watched>(loop_);
    std::error_code ec;
    watched->descriptor.assign(fd, ec);
    if (ec) {
      watched_.erase(fd);
      return id;
    }
  }
  pending->watch = &watched->descriptor;
  pending->watch->async_wait(write ? asio::posix::stream_descriptor::wait_write : asio::posix::stream_descriptor::wait_read,
                    fire);
  return id;
}

void SteadyClock::StopWatching(int fd) {
  auto it = watched_.find(fd);
  if (it == watched_.end()) return;
  for (auto& [id, pending] : pending_) {
    if (pending->watch == &it->second->descriptor) pending->watch = nullptr;
  }
  // The descriptor is only borrowed: released, never closed.
  it->second->descriptor.cancel();
  it->second->descriptor.release();
  watched_.erase(it);
}

void SteadyClock::Cancel(TimerId id) {
  auto it = pending_.find(id);
  if (it == pending_.end()) return;
  it->second->Stop();
  pending_.erase(it);
}

}  // namespace qvfax
