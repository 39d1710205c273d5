// A call's media socket: one even UDP port of the configured range, which
// carries the call's RTP and, once the call switches, its UDPTL. Media are
// symmetric: until packets come from the address the far end described, we
// send back to where its packets come from, which behind a NAT is the only
// address that reaches it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engines/sip/udptl.h"

namespace qvfax::sip {

class MediaSocket {
 public:
  // Binds a free even port in [first, last] on `host`; nullptr, with
  // `error` saying why, when none is free.
  static std::unique_ptr<MediaSocket> Open(const std::string& host, int first, int last, std::string& error);
  ~MediaSocket();
  MediaSocket(const MediaSocket&) = delete;
  MediaSocket& operator=(const MediaSocket&) = delete;

  int Port() const;
  // Where the far end's session description says it takes media.
  void SendTo(const std::string& address, int port);
  void Send(const Bytes& datagram);
  // Hands each datagram waiting to `take`, without blocking.
  void Drain(const std::function<void(const uint8_t* data, size_t length)>& take);

 private:
  MediaSocket();
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The address of this host that packets to `host` leave from: what our
// session descriptions give when no external address is configured.
std::string LocalAddressToward(const std::string& host);
// The host of a SIP URI ("sip:user@host:port;params"), without brackets.
std::string HostOfUri(const std::string& uri);

}  // namespace qvfax::sip
