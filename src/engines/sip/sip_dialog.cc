#include "engines/sip/sip_dialog.h"

#include <sys/eventfd.h>
#include <unistd.h>

namespace qvfax::sip {

Mailbox::Mailbox() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

Mailbox::~Mailbox() {
  if (fd_ >= 0) ::close(fd_);
}

void Mailbox::Put(CallEvent event) {
  {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
  }
  // The descriptor first: a look between the two finds nothing and leaves
  // it readable, so the next one comes at once and finds the event.
  const uint64_t one = 1;
  [[maybe_unused]] const auto n = ::write(fd_, &one, sizeof one);
  waiting_ = true;
}

std::vector<CallEvent> Mailbox::Take() {
  // Most looks find nothing: those cost no system call.
  if (!waiting_.exchange(false)) return {};
  uint64_t count = 0;
  [[maybe_unused]] const auto n = ::read(fd_, &count, sizeof count);
  std::lock_guard lock(mutex_);
  std::vector<CallEvent> taken(std::make_move_iterator(events_.begin()), std::make_move_iterator(events_.end()));
  events_.clear();
  return taken;
}

}  // namespace qvfax::sip
