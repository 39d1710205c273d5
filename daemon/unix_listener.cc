#include "daemon/unix_listener.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <iostream>
#include <optional>
#include <set>

#include <asio/bind_executor.hpp>
#include <asio/local/stream_protocol.hpp>
#include <asio/post.hpp>
#include <asio/strand.hpp>
#include <asio/write.hpp>
#include <fmt/format.h>

#include "rpc/jsonrpc.h"
#include "rpc/line_framer.h"

namespace qvfax::daemon {

using asio::local::stream_protocol;

namespace {

std::optional<ucred> PeerCredentials(stream_protocol::socket& socket) {
  ucred credentials{};
  socklen_t length = sizeof credentials;
  if (::getsockopt(socket.native_handle(), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0) return std::nullopt;
  return credentials;
}

constexpr size_t kMaxQueuedBytes = 16u << 20;
constexpr size_t kMaxConnections = 512;

bool PeerAllowed(const std::optional<ucred>& credentials) {
  return credentials && (credentials->uid == ::geteuid() || credentials->uid == 0);
}

// The peer's process and its session: its faxes are its session's own.
rpc::PeerIdentity IdentityOf(const ucred& credentials) {
  return {static_cast<int>(credentials.pid), static_cast<int>(::getsid(credentials.pid))};
}

class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(stream_protocol::socket socket, rpc::Broker& broker, rpc::PeerIdentity who)
      : socket_(std::move(socket)),
        who_(who),
        strand_(asio::make_strand(socket_.get_executor())),
        broker_(broker),
        framer_([this](std::string line) { broker_.Handle(id_, line); },
                [this] {
                  Send(rpc::Error(nullptr, {rpc::codes::kInvalidRequest, "Invalid Request: message too long", nullptr}));
                }) {}

  void Start();
  void Send(std::string line);
  void Close();
  void Shut();  // Close's work, on the strand

 private:
  class Back : public rpc::Peer {
   public:
    explicit Back(std::weak_ptr<Session> session) : session_(std::move(session)) {}
    void Send(const std::string& line) override {
      if (auto s = session_.lock()) s->Send(line);
    }

   private:
    std::weak_ptr<Session> session_;
  };

  void Read();
  void Write();

  stream_protocol::socket socket_;
  rpc::PeerIdentity who_;
  asio::strand<asio::any_io_executor> strand_;
  rpc::Broker& broker_;
  rpc::LineFramer framer_;
  uint64_t id_ = 0;
  std::array<char, 65536> buffer_{};
  std::deque<std::string> outbox_;
  size_t queued_ = 0;  // bytes in the outbox
  bool closed_ = false;
};

void Session::Start() {
  id_ = broker_.Connect(std::make_shared<Back>(weak_from_this()), who_);
  Read();
}

void Session::Read() {
  auto self = shared_from_this();
  socket_.async_read_some(asio::buffer(buffer_), asio::bind_executor(strand_, [self](std::error_code ec, size_t n) {
    if (ec) {
      self->Close();
      return;
    }
    self->framer_.Feed(std::string_view(self->buffer_.data(), n));
    self->Read();
  }));
}

void Session::Send(std::string line) {
  auto self = shared_from_this();
  asio::post(strand_, [self, line = std::move(line)]() mutable {
    if (self->closed_) return;
    line.push_back('\n');
    // A client that does not read (a follower that fell behind) may not make
    // the daemon hold its messages without end.
    if (self->queued_ + line.size() > kMaxQueuedBytes) {
      std::cerr << fmt::format("qvfaxd: dropped a client that did not read its messages ({} KiB waiting)\n",
                               (self->queued_ + line.size()) / 1024);
      self->Shut();
      return;
    }
    self->queued_ += line.size();
    self->outbox_.push_back(std::move(line));
    if (self->outbox_.size() == 1) self->Write();
  });
}

void Session::Write() {
  auto self = shared_from_this();
  asio::async_write(socket_, asio::buffer(outbox_.front()),
                    asio::bind_executor(strand_, [self](std::error_code ec, size_t) {
                      if (ec) {
                        self->Close();
                        return;
                      }
                      self->queued_ -= self->outbox_.front().size();
                      self->outbox_.pop_front();
                      if (!self->outbox_.empty() && !self->closed_) self->Write();
                    }));
}

void Session::Close() {
  auto self = shared_from_this();
  asio::post(strand_, [self] { self->Shut(); });
}

void Session::Shut() {
  if (closed_) return;
  closed_ = true;
  // The outbox stays as it is: a write under way still reads its front, and
  // ends with an error once the socket is closed.
  std::error_code ignored;
  socket_.shutdown(stream_protocol::socket::shutdown_both, ignored);
  socket_.close(ignored);
  broker_.Disconnect(id_);
}

}  // namespace

struct UnixListener::Impl : std::enable_shared_from_this<Impl> {
  Impl(asio::io_context& io, rpc::Broker& b) : io(io), broker(b), acceptor(io) {}
  asio::io_context& io;
  rpc::Broker& broker;
  stream_protocol::acceptor acceptor;
  std::string path;
  std::set<std::weak_ptr<Session>, std::owner_less<std::weak_ptr<Session>>> sessions;
  // Refusals past the cap, for the journal: a flood of them is one line every ten seconds.
  std::chrono::steady_clock::time_point last_refusal_note{};
  int refusals_unnoted = 0;

  void NoteRefusal() {
    ++refusals_unnoted;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_refusal_note < std::chrono::seconds(10)) return;
    std::cerr << fmt::format("qvfaxd: refused {} connection{}: {} clients are connected already\n", refusals_unnoted,
                             refusals_unnoted == 1 ? "" : "s", kMaxConnections);
    last_refusal_note = now;
    refusals_unnoted = 0;
  }

  void Accept() {
    auto self = shared_from_this();
    acceptor.async_accept([self](std::error_code ec, stream_protocol::socket socket) {
      if (ec) return;  // closed: the daemon is stopping
      const auto credentials = PeerCredentials(socket);
      // Sessions that ended are forgotten, so their memory goes with them.
      std::erase_if(self->sessions, [](const std::weak_ptr<Session>& s) { return s.expired(); });
      if (!PeerAllowed(credentials)) {
        std::cerr << "qvfaxd: refused a connection from another user\n";
      } else if (self->sessions.size() >= kMaxConnections) {
        self->NoteRefusal();
        const std::string refusal = rpc::Error(nullptr, {rpc::codes::kNotPermitted,
            fmt::format("qvfaxd serves at most {} clients at once", kMaxConnections), nullptr}) + "\n";
        std::error_code ignored;
        asio::write(socket, asio::buffer(refusal), ignored);
      } else {
        // Not make_shared: a weak_ptr left anywhere must not keep the 64 KiB buffer.
        auto session = std::shared_ptr<Session>(new Session(std::move(socket), self->broker, IdentityOf(*credentials)));
        self->sessions.insert(session);
        session->Start();
      }
      self->Accept();
    });
  }
};

UnixListener::UnixListener(asio::io_context& io, rpc::Broker& broker, const std::string& path)
    : impl_(std::make_shared<Impl>(io, broker)) {
  impl_->path = path;
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  if (!folder.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
  }
  std::error_code status_error;
  const auto status = std::filesystem::symlink_status(path, status_error);
  if (!status_error && std::filesystem::exists(status)) {
    // Only a socket nobody listens on (a daemon that died) is ours to replace.
    if (!std::filesystem::is_socket(status)) {
      throw std::runtime_error(fmt::format("{} exists and is not a socket: give --socket a path of its own", path));
    }
    stream_protocol::socket probe(io);
    std::error_code ec;
    probe.connect(stream_protocol::endpoint(path), ec);
    if (!ec) throw std::runtime_error(fmt::format("another qvfaxd already listens on {}", path));
    std::filesystem::remove(path, ec);
  }
  // Created private: no other user may connect even before the chmod.
  const mode_t old_mask = ::umask(0177);
  std::error_code bind_error;
  impl_->acceptor.open(stream_protocol());
  impl_->acceptor.bind(stream_protocol::endpoint(path), bind_error);
  ::umask(old_mask);
  if (bind_error) throw std::runtime_error(fmt::format("cannot listen on {}: {}", path, bind_error.message()));
  ::chmod(path.c_str(), 0600);
  impl_->acceptor.listen();
}

UnixListener::~UnixListener() { Stop(); }

void UnixListener::Start() { impl_->Accept(); }

void UnixListener::Stop() {
  std::error_code ignored;
  if (impl_->acceptor.is_open()) {
    impl_->acceptor.close(ignored);
    std::filesystem::remove(impl_->path, ignored);
  }
  for (auto& weak : impl_->sessions) {
    if (auto session = weak.lock()) session->Close();
  }
  impl_->sessions.clear();
}

}  // namespace qvfax::daemon
