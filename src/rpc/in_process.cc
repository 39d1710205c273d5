#include "rpc/in_process.h"

#include <condition_variable>
#include <deque>
#include <mutex>

namespace qvfax::rpc {

namespace {

// Lines from the broker, queued for the client's Receive.
class Mailbox : public Peer {
 public:
  void Send(const std::string& line) override {
    {
      std::lock_guard lock(mutex_);
      lines_.push_back(line);
    }
    cv_.notify_one();
  }

  std::optional<std::string> Take(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!cv_.wait_for(lock, timeout, [this] { return !lines_.empty(); })) return std::nullopt;
    std::string line = std::move(lines_.front());
    lines_.pop_front();
    return line;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::string> lines_;
};

class InProcessTransport : public Transport {
 public:
  InProcessTransport(Broker& broker, PeerIdentity who)
      : broker_(broker), mailbox_(std::make_shared<Mailbox>()), id_(broker.Connect(mailbox_, who)) {}
  ~InProcessTransport() override { broker_.Disconnect(id_); }

  void Send(const std::string& line) override { broker_.Handle(id_, line); }
  std::optional<std::string> Receive(std::chrono::milliseconds timeout) override { return mailbox_->Take(timeout); }

 private:
  Broker& broker_;
  std::shared_ptr<Mailbox> mailbox_;
  uint64_t id_;
};

}  // namespace

std::unique_ptr<Transport> ConnectInProcess(Broker& broker, PeerIdentity who) {
  return std::make_unique<InProcessTransport>(broker, who);
}

}  // namespace qvfax::rpc
