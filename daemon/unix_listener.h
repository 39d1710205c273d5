// The daemon's socket: accepts local connections from the same user (or
// root), frames their lines and hands them to the broker, and writes the
// broker's answers back in order.
#pragma once

#include <memory>
#include <string>

#include <asio/io_context.hpp>

#include "rpc/broker.h"

namespace qvfax::daemon {

class UnixListener {
 public:
  // Creates the socket at `path`, mode 0600; a stale socket file is replaced,
  // a live one (another daemon answering) is an error.
  UnixListener(asio::io_context& io, rpc::Broker& broker, const std::string& path);
  ~UnixListener();

  void Start();
  void Stop();  // closes the socket and every connection

 private:
  struct Impl;
  std::shared_ptr<Impl> impl_;
};

}  // namespace qvfax::daemon
