#include "engines/sip/media_socket.h"

#include <random>

#include <asio/io_context.hpp>
#include <asio/ip/udp.hpp>
#include <fmt/format.h>

namespace qvfax::sip {

struct MediaSocket::Impl {
  asio::io_context context;
  asio::ip::udp::socket socket{context};
  asio::ip::udp::endpoint described;  // where the far end's session description says
  asio::ip::udp::endpoint peer;       // where we send
  bool heard_described = false;       // packets came from the described address
};

MediaSocket::MediaSocket() : impl_(std::make_unique<Impl>()) {}
MediaSocket::~MediaSocket() = default;

std::unique_ptr<MediaSocket> MediaSocket::Open(const std::string& host, int first, int last, std::string& error) {
  asio::error_code ec;
  const auto address = asio::ip::make_address(host.empty() ? "0.0.0.0" : host, ec);
  if (ec) {
    error = fmt::format("{} is not an address to take media on", host);
    return nullptr;
  }
  std::unique_ptr<MediaSocket> media(new MediaSocket());
  auto& socket = media->impl_->socket;
  socket.open(address.is_v6() ? asio::ip::udp::v6() : asio::ip::udp::v4(), ec);
  if (!ec) socket.non_blocking(true, ec);
  if (ec) {
    error = "no UDP socket for media: " + ec.message();
    return nullptr;
  }
  // Calls of several processes share a range: each starts looking somewhere else in it.
  const int pairs = std::max(1, (last - first + 1) / 2);
  const int start = static_cast<int>(std::random_device{}() % static_cast<unsigned>(pairs));
  const int base = first + (first & 1);
  for (int i = 0; i < pairs; ++i) {
    const int port = base + 2 * ((start + i) % pairs);
    if (port > last) continue;
    socket.bind({address, static_cast<uint16_t>(port)}, ec);
    if (!ec) return media;
  }
  error = fmt::format("no free media port in {}-{}", first, last);
  return nullptr;
}

int MediaSocket::Port() const { return impl_->socket.local_endpoint().port(); }

void MediaSocket::SendTo(const std::string& address, int port) {
  asio::error_code ec;
  auto ip = asio::ip::make_address(address, ec);
  if (ec) return;
  // A v4 peer from a socket bound on v6 goes as a mapped address.
  if (ip.is_v4() && impl_->socket.local_endpoint().address().is_v6()) {
    ip = asio::ip::make_address_v6(asio::ip::v4_mapped, ip.to_v4());
  }
  impl_->described = impl_->peer = {ip, static_cast<uint16_t>(port)};
  impl_->heard_described = false;  // new media may come from elsewhere
}

void MediaSocket::Send(const Bytes& datagram) {
  if (impl_->peer.port() == 0) return;
  asio::error_code ec;
  impl_->socket.send_to(asio::buffer(datagram), impl_->peer, 0, ec);  // a datagram that cannot go is lost
}

void MediaSocket::Drain(const std::function<void(const uint8_t* data, size_t length)>& take) {
  uint8_t buffer[2048];
  for (;;) {
    asio::ip::udp::endpoint from;
    asio::error_code ec;
    const size_t n = impl_->socket.receive_from(asio::buffer(buffer), from, 0, ec);
    if (ec) return;
    // The described address wins once it is heard from; until then we
    // answer to where packets come from, as behind a NAT only that works.
    if (from == impl_->described) {
      impl_->heard_described = true;
      impl_->peer = from;
    } else if (!impl_->heard_described) {
      impl_->peer = from;
    }
    take(buffer, n);
  }
}

std::string LocalAddressToward(const std::string& host) {
  asio::io_context context;
  asio::error_code ec;
  const auto to = asio::ip::make_address(host, ec);
  if (ec) return "127.0.0.1";
  asio::ip::udp::socket probe(context);
  probe.open(to.is_v6() ? asio::ip::udp::v6() : asio::ip::udp::v4(), ec);
  if (!ec) probe.connect({to, 5060}, ec);  // nothing is sent: the kernel only picks the route
  if (ec) return to.is_v6() ? "::1" : "127.0.0.1";
  return probe.local_endpoint(ec).address().to_string();
}

std::string HostOfUri(const std::string& uri) {
  std::string rest = uri.substr(uri.find(':') == std::string::npos ? 0 : uri.find(':') + 1);
  if (const auto at = rest.find('@'); at != std::string::npos) rest = rest.substr(at + 1);
  if (!rest.empty() && rest.front() == '[') return rest.substr(1, rest.find(']') - 1);
  return rest.substr(0, rest.find_first_of(":;>"));
}

}  // namespace qvfax::sip
