// How the command line reaches the object model: the daemon's socket when a
// daemon listens there, otherwise a broker of its own, in this process.
#pragma once

#include <memory>
#include <string>

#include "engines/engine_choice.h"
#include "rpc/broker.h"
#include "rpc/client.h"

namespace qvfax::cli {

struct Connection {
  std::unique_ptr<rpc::Broker> local;  // set when running in-process
  std::unique_ptr<rpc::Client> client;
  bool through_daemon = false;
};

Connection Connect(const std::string& socket_path, const EngineChoice& engine);

std::string DefaultSocketPath();

}  // namespace qvfax::cli
