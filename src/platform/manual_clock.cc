#include "platform/manual_clock.h"

namespace qvfax {

ManualClock::ManualClock(OleDate wall_start) : wall_start_(wall_start) {}

OleDate ManualClock::LocalNow() const {
  return wall_start_.PlusMilliseconds(static_cast<double>(now_.count()));
}

Clock::TimerId ManualClock::Schedule(std::chrono::milliseconds delay, Callback callback) {
  const TimerId id = next_id_++;
  const auto deadline = now_ + (delay.count() < 0 ? std::chrono::milliseconds(0) : delay);
  queue_.emplace(Key{deadline, id}, std::move(callback));
  deadlines_.emplace(id, deadline);
  return id;
}

void ManualClock::Cancel(TimerId id) {
  auto it = deadlines_.find(id);
  if (it == deadlines_.end()) return;
  queue_.erase(Key{it->second, id});
  deadlines_.erase(it);
}

void ManualClock::Advance(std::chrono::milliseconds by) {
  const auto target = now_ + by;
  while (!queue_.empty() && queue_.begin()->first.first <= target) {
    auto node = queue_.extract(queue_.begin());
    deadlines_.erase(node.key().second);
    now_ = node.key().first;
    node.mapped()();
  }
  now_ = target;
}

std::chrono::milliseconds ManualClock::RunUntilIdle(std::chrono::milliseconds limit) {
  const auto start = now_;
  while (!queue_.empty() && queue_.begin()->first.first - start <= limit) {
    Advance(queue_.begin()->first.first - now_);
  }
  return now_ - start;
}

}  // namespace qvfax
