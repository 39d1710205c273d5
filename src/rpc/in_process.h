// A transport to a broker in the same process: what the command line uses
// when no daemon listens.
#pragma once

#include <memory>

#include "rpc/broker.h"
#include "rpc/client.h"

namespace qvfax::rpc {

// The broker must outlive the transport.
std::unique_ptr<Transport> ConnectInProcess(Broker& broker, PeerIdentity who = PeerIdentity::Self());

}  // namespace qvfax::rpc
