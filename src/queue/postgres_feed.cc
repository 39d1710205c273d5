#include "queue/postgres_feed.h"

#include <libpq-fe.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include <fmt/format.h>

namespace qvfax::queue {

namespace {

class PostgresFeed : public SharedJobStore::Feed {
 public:
  PostgresFeed(std::string url, std::function<void(const std::string&)> heard)
      : url_(std::move(url)), heard_(std::move(heard)), stop_(::eventfd(0, EFD_CLOEXEC)) {
    thread_ = std::thread([this] { Run(); });
  }

  ~PostgresFeed() override {
    stopping_ = true;
    const uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(stop_, &one, sizeof one);
    thread_.join();
    ::close(stop_);
  }

 private:
  // Connects, listens, and hands on what it hears; a connection that fails
  // is made again after a wait that doubles up to 10 s.
  void Run() {
    int wait_ms = 250;
    while (!stopping_) {
      PGconn* conn = PQconnectdb(url_.c_str());
      if (PQstatus(conn) == CONNECTION_OK) {
        PQclear(PQexec(conn, fmt::format("LISTEN {}", kJobsChannel).c_str()));
        wait_ms = 250;
        Listen(conn);
      }
      PQfinish(conn);
      if (stopping_ || !Wait(wait_ms)) return;
      wait_ms = std::min(wait_ms * 2, 10'000);
    }
  }

  void Listen(PGconn* conn) {
    while (!stopping_) {
      pollfd fds[2] = {{PQsocket(conn), POLLIN, 0}, {stop_, POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) continue;
      if (fds[1].revents) return;
      if (!PQconsumeInput(conn)) return;  // the connection broke
      while (PGnotify* n = PQnotifies(conn)) {
        heard_(n->extra);
        PQfreemem(n);
      }
    }
  }

  // False when asked to stop meanwhile.
  bool Wait(int ms) {
    pollfd fd{stop_, POLLIN, 0};
    return ::poll(&fd, 1, ms) == 0;
  }

  std::string url_;
  std::function<void(const std::string&)> heard_;
  int stop_;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace

std::unique_ptr<SharedJobStore::Feed> FollowPostgres(const std::string& url,
                                                      std::function<void(const std::string&)> heard) {
  return std::make_unique<PostgresFeed>(url, std::move(heard));
}

}  // namespace qvfax::queue
