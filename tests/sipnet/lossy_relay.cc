#include "lossy_relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <random>

namespace qvfax::testing {

namespace {

using Clock = std::chrono::steady_clock;

sockaddr_in Address(const std::string& host, int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, host.c_str(), &a.sin_addr);
  return a;
}

bool Same(const sockaddr_in& a, const sockaddr_in& b) {
  return a.sin_port == b.sin_port && a.sin_addr.s_addr == b.sin_addr.s_addr;
}

}  // namespace

LossyRelay::LossyRelay(const std::string& outside, const std::string& inside, int first, int last,
                       Impairment impairment)
    : inside_(inside), first_(first), impairment_(impairment) {
  for (int port = first; port <= last; ++port) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const sockaddr_in at = Address(outside, port);
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0) {
      if (fd >= 0) ::close(fd);
      for (int open : sockets_) ::close(open);
      sockets_.clear();
      return;
    }
    sockets_.push_back(fd);
  }
  thread_ = std::thread([this] { Run(); });
}

LossyRelay::~LossyRelay() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  for (int fd : sockets_) ::close(fd);
}

void LossyRelay::Run() {
  struct Held {
    size_t socket;
    sockaddr_in to;
    std::string data;
  };
  std::multimap<Clock::time_point, Held> in_flight;
  std::vector<sockaddr_in> outside_peer(sockets_.size());
  std::mt19937 random(impairment_.seed);
  std::uniform_real_distribution<double> chance(0, 1);
  Clock::time_point last_due[2] = {};  // each way: when its last datagram arrives
  std::vector<pollfd> polls;
  for (int fd : sockets_) polls.push_back({fd, POLLIN, 0});
  while (!stop_) {
    int wait_ms = 50;
    if (!in_flight.empty()) {
      const auto due = std::chrono::duration_cast<std::chrono::milliseconds>(in_flight.begin()->first - Clock::now());
      wait_ms = static_cast<int>(std::max<int64_t>(0, std::min<int64_t>(50, due.count())));
    }
    ::poll(polls.data(), polls.size(), wait_ms);
    for (size_t i = 0; i < polls.size(); ++i) {
      if (!(polls[i].revents & POLLIN)) continue;
      char buffer[2048];
      sockaddr_in from{};
      socklen_t length = sizeof from;
      ssize_t n;
      while ((n = ::recvfrom(sockets_[i], buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length)) > 0) {
        const sockaddr_in inside = Address(inside_, first_ + static_cast<int>(i));
        sockaddr_in to;
        if (Same(from, inside)) {
          if (outside_peer[i].sin_port == 0) continue;  // nobody outside has spoken yet
          to = outside_peer[i];
        } else {
          outside_peer[i] = from;
          to = inside;
        }
        if (chance(random) < impairment_.loss) {
          ++lost_;
        } else {
          // A queue's delay: it varies, but what went first arrives first,
          // except the one in fifty held back the whole jitter and overtaken.
          const auto now = Clock::now();
          const int jitter = impairment_.jitter_ms > 0 ? static_cast<int>(random() % (impairment_.jitter_ms + 1)) : 0;
          auto due = now + std::chrono::milliseconds(impairment_.delay_ms + jitter);
          if (impairment_.jitter_ms > 0 && chance(random) < 0.02) {
            due = now + std::chrono::milliseconds(impairment_.delay_ms + 2 * impairment_.jitter_ms);
            ++overtaken_;
          } else {
            due = std::max(due, last_due[Same(from, inside)]);
            last_due[Same(from, inside)] = due;
          }
          in_flight.emplace(due, Held{i, to, std::string(buffer, static_cast<size_t>(n))});
        }
        length = sizeof from;
      }
    }
    const auto now = Clock::now();
    while (!in_flight.empty() && in_flight.begin()->first <= now) {
      const Held& held = in_flight.begin()->second;
      ::sendto(sockets_[held.socket], held.data.data(), held.data.size(), 0,
               reinterpret_cast<const sockaddr*>(&held.to), sizeof held.to);
      ++passed_;
      in_flight.erase(in_flight.begin());
    }
  }
}

}  // namespace qvfax::testing
