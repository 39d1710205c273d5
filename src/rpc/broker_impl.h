// The broker's insides, shared by its source files: the homes of server
// objects, the connections with their handles, and the faxes each home
// publishes. Not part of the broker's public face.
#pragma once

#include <deque>
#include <future>
#include <map>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include <nlohmann/json.hpp>

#include "documents/document_error.h"
#include "documents/prepare.h"
#include "documents/prepare_in_child.h"
#include "platform/apartment.h"
#include "rpc/broker.h"
#include "rpc/jsonrpc.h"
#include "rpc/keep_alive.h"
#include "rpc/remote_sink.h"
#include "rpc/surface.h"
#include "server/qv_vav_uva_raz_ur.h"

namespace qvfax::rpc {

using nlohmann::json;

// What a connection follows to hear of every change of a queued job.
inline constexpr const char* kJobsName = "jobs";
inline constexpr const char* kInboxName = "inbox";

// COM's own numbers for a call into a client that failed or timed out.
inline constexpr int32_t kDisconnected = -2147417848;
inline constexpr int32_t kTimedOut = -2147417825;

// An apartment, and the server object living in it (none for the apartment
// that holds client-created value objects).
struct Home {
  std::unique_ptr<Apartment> apartment;
  std::shared_ptr<QvVavUvaRazUr> server;  // touched only on the apartment's thread
  bool initialised = false;               // likewise

  // The fax this home stands for, as the daemon's operations name it.
  int64_t fax = 0;
  PeerIdentity owner;
  const ApartmentContext* context = nullptr;
  std::string status, log;  // its latest publications; under the broker's mutex
  json last_live;           // the number and pages as its server object last had them

  ~Home();
};

class Reaper;

struct Entry {
  std::shared_ptr<Home> home;  // declared first: the object must go before its apartment
  Object object;
  int refs = 0;
};

// Which faxes' publications a connection follows under one name.
struct FollowFilter {
  int64_t fax = 0;   // this fax only
  bool own = false;  // only faxes of the follower's session
};

struct Connection {
  uint64_t id = 0;
  std::shared_ptr<Peer> peer;
  PeerIdentity who;
  std::mutex mutex;
  bool closed = false;
  uint64_t next_request = 1;
  std::map<std::string, std::shared_ptr<std::promise<json>>> pending;
  std::map<std::string, FollowFilter> follows;
  int64_t next_handle = 1;
  std::map<int64_t, Entry> handles;
  std::map<const void*, int64_t> by_object;
  std::vector<std::string> spool_folders;  // its prepared documents, removed when it goes

  void Send(const std::string& line) {
    std::lock_guard lock(mutex);
    if (!closed) peer->Send(line);
  }
};

struct Broker::Impl : std::enable_shared_from_this<Broker::Impl> {
  Impl();
  ~Impl();

  BrokerOptions options;
  std::shared_ptr<ComponentRegistry> registry = std::make_shared<ComponentRegistry>();
  std::shared_ptr<Home> free_home;
  mutable std::mutex mutex;
  uint64_t next_connection = 1;
  int64_t next_fax = 1;
  std::map<uint64_t, std::shared_ptr<Connection>> connections;
  std::set<std::shared_ptr<Home>> live;  // homes whose server object lives
  // Faxes whose server object has gone, newest last, as they last stood: what
  // `status` and `log` show of a session whose fax just ended.
  struct EndedFax {
    int64_t fax = 0;
    PeerIdentity owner;
    std::string status, log;
    json live;
  };
  std::deque<EndedFax> ended;
  static constexpr size_t kEndedKept = 64;
  bool shut_down = false;
  std::unique_ptr<Reaper> reaper;
  std::vector<uint64_t> board_tokens;
  std::unique_ptr<Apartment> documents;  // prepares documents, one request at a time
  KeepAlive keep_alive;                  // "working" for requests answered late
  uint64_t next_spool = 1;

  std::shared_ptr<Connection> Find(uint64_t id);
  void Forget(Home* home);
  json Answer(Connection& conn, const Value& value, const std::shared_ptr<Home>& home);
  std::shared_ptr<Home> NewServerHome(const PeerIdentity& owner);
  RequestFn SinkRequests(std::weak_ptr<Connection> weak);

  void Reply(Connection& conn, const json& id, const json& result) {
    keep_alive.Close(conn.id, id);
    if (!id.is_null()) conn.Send(Result(id, result));
  }
  void Fail(Connection& conn, const json& id, const Failure& failure) {
    keep_alive.Close(conn.id, id);
    if (!id.is_null()) conn.Send(Error(id, failure));
  }
  // The request will be answered late: its client hears "working" meanwhile.
  void AnswerLate(const std::shared_ptr<Connection>& conn, const json& id) {
    keep_alive.Open(conn->id, id, [weak = std::weak_ptr<Connection>(conn)](const std::string& line) {
      auto c = weak.lock();
      if (!c) return false;
      std::lock_guard lock(c->mutex);
      if (c->closed) return false;
      c->peer->Send(line);
      return true;
    });
  }

  // No more sends to the client; apartments waiting for its answers stop waiting.
  static void Hush(Connection& conn);
  // Hushes the connection and releases all its objects.
  void Close(const std::shared_ptr<Connection>& conn);

  void Dispatch(const std::shared_ptr<Connection>& conn, const Message& message);
  void Release(const std::shared_ptr<Connection>& conn, int64_t handle, bool forced);
  void ReleaseServer(std::shared_ptr<Home> home);
  // `sink`, telling the queue's history of each fax the home's server object
  // sends; `sink` itself when no queue is attached.
  std::shared_ptr<BkgFaxVmEventi> WithHistory(std::shared_ptr<BkgFaxVmEventi> sink, const std::shared_ptr<Home>& home);
  // Drops a reference to a home off the caller's thread: the last one joins
  // an apartment that may be busy.
  void Reap(std::shared_ptr<Home> home);

  // The daemon's own operations on faxes: list, follow, cancel. True when
  // `method` was one of them and has been answered.
  bool DispatchFaxOperation(const std::shared_ptr<Connection>& conn, const Message& message);
  // Listens to every publication, keeps it with the home that made it and
  // passes it to the connections that follow it.
  void WatchPublications();
  std::vector<std::shared_ptr<Home>> Chosen(const Connection& conn, const json& params) const;
  // `prepare`: documents into fax TIFFs in the spool, answered when done.
  bool DispatchDocumentOperation(const std::shared_ptr<Connection>& conn, const Message& message);
  // The folder of the clients' prepared documents, and the removal of those a killed daemon left.
  std::filesystem::path SpoolFolder() const;
  void RemoveLeftoverSpools() const;
  static void RemoveSpool(Connection& conn);

  // The queue's methods, when a queue is attached.
  bool DispatchJobOperation(const std::shared_ptr<Connection>& conn, const Message& message);
  queue::JobQueue* queue = nullptr;  // under the mutex
  std::string queue_documents;
  // The inbox's methods, when an inbox is attached.
  bool DispatchInboxOperation(const std::shared_ptr<Connection>& conn, const Message& message);
  queue::Inbox* inbox = nullptr;  // under the mutex
  // Tells the connections following `name` of `change`, as the notification `method`.
  void TellFollowers(const char* name, const char* method, const json& change);
  uint64_t next_job_folder = 1;
};

// The parameters `prepare` and `submit` share.
std::vector<std::string> FilesParam(const json& params);
documents::PrepareOptions OptionsParam(const json& params);
// The number and page counts a server object holds now (null when it cannot tell).
json LiveValues(QvVavUvaRazUr& server);

// A document that cannot be prepared, as the error its client hears: the
// document's fault, or this host's (no space, no permission).
Failure DocumentFailure(const documents::DocumentError& e);
// The Risoluzione code that sends the prepared pages as they are.
int ResolutionCode(documents::Resolution resolution);

}  // namespace qvfax::rpc
