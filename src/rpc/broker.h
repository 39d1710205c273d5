// The broker: the object model served to clients by handle. It keeps each
// server object in an apartment of its own, runs every call there, answers
// asynchronously, carries sink notifications back to the client that asked
// for them, and forwards publications to clients that follow a name. It is
// transport-agnostic: the daemon feeds it socket lines, the command line
// feeds it in-process.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/component_registry.h"

namespace qvfax::queue {
class JobQueue;
class Inbox;
}

namespace qvfax::rpc {

// A client connection's way back: Send must be safe to call from any thread.
class Peer {
 public:
  virtual ~Peer() = default;
  virtual void Send(const std::string& line) = 0;
};

// Who is at the other end of a connection: its faxes are its own.
struct PeerIdentity {
  int pid = 0;
  int session = 0;  // the process session: one terminal, one session

  // This process, for clients served in-process.
  static PeerIdentity Self();
};

struct BrokerOptions {
  // Registers the fax engine; the stand-ins are registered by the broker.
  std::function<void(ComponentRegistry&)> register_engine;
  // How long an apartment waits for a client to answer a sink notification.
  std::chrono::milliseconds sink_timeout{20000};
  // Where prepared documents are kept while their client is connected;
  // empty: qvfax/spool in the user's state folder.
  std::string spool{};
  // What `engine` answers: the engine's name and its remotes' inbox.
  nlohmann::json engine = nlohmann::json::object();
};

class Broker {
 public:
  explicit Broker(BrokerOptions options);
  ~Broker();  // shuts down as Shutdown() does
  Broker(const Broker&) = delete;
  Broker& operator=(const Broker&) = delete;

  uint64_t Connect(std::shared_ptr<Peer> peer, PeerIdentity who = PeerIdentity::Self());
  // Releases the connection's objects; a server object still at work (a fax
  // under way, a port being opened) finishes first, with no sink.
  void Disconnect(uint64_t connection);
  // One JSON-RPC message from the connection; answers go through its Peer.
  void Handle(uint64_t connection, const std::string& line);

  // Closes open ports, writes "Server terminato" for every initialised
  // server object, and destroys them all.
  void Shutdown();

  size_t LiveServerObjects() const;

  // The components server objects are made of: the stand-ins and the engine.
  std::shared_ptr<ComponentRegistry> registry() const;
  // Serves the queue's methods (submit, jobs, remove, wait, history,
  // attempts) with `queue`, its prepared documents going into `documents`.
  // The queue must outlive the broker's use of it: detach with nullptr.
  void AttachQueue(queue::JobQueue* queue, std::string documents);
  // Tells the connections following "jobs" of a change of a job.
  void JobChanged(const nlohmann::json& change);
  // Serves the inbox's methods (inbox, inbox_fax, inbox_remove, answer)
  // with `inbox`; detach with nullptr before it goes.
  void AttachInbox(queue::Inbox* inbox);
  // Tells the connections following "inbox" of a fax that came in or went.
  void InboxChanged(const nlohmann::json& change);

  struct Impl;

 private:
  std::shared_ptr<Impl> impl_;
};

}  // namespace qvfax::rpc
