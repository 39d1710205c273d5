#include "rpc/client.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <fmt/format.h>

#include "rpc/jsonrpc.h"

namespace qvfax::rpc {

RemoteError::RemoteError(int code, const std::string& message, json data)
    : std::runtime_error(message), code_(code), data_(std::move(data)) {}

int32_t RemoteError::number() const {
  return data_.is_object() ? data_.value("number", 0) : 0;
}

std::string RemoteError::description() const {
  if (data_.is_object() && data_.contains("description")) return data_.value("description", std::string());
  return what();
}

Client::Client(std::unique_ptr<Transport> transport) : transport_(std::move(transport)) {}

void Client::Serve(const std::string& line, const json* waiting_for, std::optional<json>* answer) {
  json doc = json::parse(line, nullptr, false);
  if (!doc.is_object()) return;
  if (doc.contains("method")) {
    const std::string method = doc.value("method", std::string());
    const json params = doc.value("params", json::object());
    if (doc.contains("id")) {
      json result;
      try {
        if (on_request) result = on_request(method, params);
        transport_->Send(Result(doc["id"], result));
      } catch (const std::exception& e) {
        transport_->Send(Error(doc["id"], Failure{codes::kInternalError, e.what(), nullptr}));
      }
    } else if (method != "working" && on_notification) {  // "working" only says the daemon is alive
      on_notification(method, params);
    }
    return;
  }
  if (waiting_for && answer && doc.value("id", json()) == *waiting_for) *answer = doc;
}

json Client::Call(const std::string& method, const json& params) {
  const json id = next_id_++;
  transport_->Send(Request(id, method, params));
  std::optional<json> answer;
  // The timeout bounds silence: a daemon still at it says so ("working", or
  // anything else it sends) and the wait goes on.
  auto deadline = std::chrono::steady_clock::now() + call_timeout;
  while (!answer) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      throw CallTimeout(fmt::format("qvfaxd did not answer {} within {} s", method, call_timeout.count() / 1000.0));
    }
    if (auto line = transport_->Receive(left)) {
      Serve(*line, &id, &answer);
      deadline = std::chrono::steady_clock::now() + call_timeout;
    }
  }
  if (answer->contains("error")) {
    const json& error = (*answer)["error"];
    throw RemoteError(error.value("code", 0), error.value("message", std::string("error")),
                      error.value("data", json()));
  }
  return answer->value("result", json());
}

bool Client::Pump(std::chrono::milliseconds timeout) {
  auto line = transport_->Receive(timeout);
  if (!line) return false;
  Serve(*line, nullptr, nullptr);
  return true;
}

int64_t Client::Create(const std::string& class_name) {
  return Call("create", {{"class", class_name}}).at("handle").get<int64_t>();
}

json Client::Get(int64_t handle, const std::string& member, const json& args) {
  return Call("get", {{"handle", handle}, {"member", member}, {"args", args}});
}

int64_t Client::GetObject(int64_t handle, const std::string& member) {
  return Get(handle, member).at("handle").get<int64_t>();
}

void Client::Let(int64_t handle, const std::string& member, const json& value) {
  Call("let", {{"handle", handle}, {"member", member}, {"value", value}});
}

json Client::Invoke(int64_t handle, const std::string& member, const json& args) {
  return Call("call", {{"handle", handle}, {"member", member}, {"args", args}});
}

void Client::Release(int64_t handle) { Call("release", {{"handle", handle}}); }

namespace {

class UnixSocketTransport : public Transport {
 public:
  explicit UnixSocketTransport(int fd) : fd_(fd) {}
  ~UnixSocketTransport() override { ::close(fd_); }

  void Send(const std::string& line) override {
    std::string data = line + "\n";
    const char* p = data.data();
    size_t left = data.size();
    while (left > 0) {
      const ssize_t n = ::send(fd_, p, left, MSG_NOSIGNAL);
      if (n < 0) {
        if (errno == EINTR) continue;
        throw std::runtime_error(std::string("qvfaxd connection lost: ") + std::strerror(errno));
      }
      p += n;
      left -= static_cast<size_t>(n);
    }
  }

  std::optional<std::string> Receive(std::chrono::milliseconds timeout) override {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
      if (auto newline = buffer_.find('\n'); newline != std::string::npos) {
        std::string line = buffer_.substr(0, newline);
        buffer_.erase(0, newline + 1);
        return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return std::nullopt;
      pollfd pfd{fd_, POLLIN, 0};
      const int ready = ::poll(&pfd, 1, static_cast<int>(left.count()));
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) return std::nullopt;
      char chunk[65536];
      const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
      if (n == 0) throw std::runtime_error("qvfaxd closed the connection");
      if (n < 0) {
        if (errno == EINTR) continue;
        throw std::runtime_error(std::string("qvfaxd connection lost: ") + std::strerror(errno));
      }
      buffer_.append(chunk, static_cast<size_t>(n));
    }
  }

 private:
  int fd_;
  std::string buffer_;
};

}  // namespace

std::unique_ptr<Transport> ConnectUnixSocket(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    ::close(fd);
    throw std::runtime_error("socket path too long: " + path);
  }
  std::strcpy(address.sun_path, path.c_str());
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    const int error = errno;
    ::close(fd);
    throw std::runtime_error(fmt::format("cannot reach qvfaxd at {}: {}", path, std::strerror(error)));
  }
  return std::make_unique<UnixSocketTransport>(fd);
}

}  // namespace qvfax::rpc
