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

struct Common;

// Refuses (with core::ConfigError) engine options while a daemon listens: the
// daemon's own engine would serve and the options would be ignored.
Connection Connect(const Common& common);

// The running daemon, or nothing when none listens at the socket.
std::unique_ptr<rpc::Client> ConnectDaemon(const Common& common);
// The running daemon; throws, saying that qvfaxd keeps `what`, when none listens.
std::unique_ptr<rpc::Client> RequireDaemon(const Common& common, const std::string& what);

// A time in ms since 1970 as the local "YYYY-MM-DD HH:MM:SS"; "-" for none.
std::string LocalTime(int64_t ms);

std::string DefaultSocketPath();

}  // namespace qvfax::cli
