#include "rpc/broker.h"

#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <future>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include <fmt/format.h>

#include "components/publication_board.h"
#include "components/standins.h"
#include "platform/apartment.h"
#include "platform/automation_error.h"
#include "rpc/broker_impl.h"
#include "rpc/jsonrpc.h"
#include "rpc/remote_sink.h"
#include "rpc/surface.h"
#include "server/qv_vav_uva_raz_ur.h"
#include "values/coded_values.h"
#include "values/res_dll.h"

namespace qvfax::rpc {

Home::~Home() {
  if (!apartment) return;
  if (apartment->IsCurrentThread()) {
    server.reset();
  } else {
    apartment->Call([this] { server.reset(); });
  }
}

// Drops references to homes on a thread of its own, for the transport's
// thread: dropping the last one joins an apartment that may be busy waiting
// for a client, and the transport must go on reading meanwhile.
class Reaper {
 public:
  Reaper() : thread_([this] { Run(); }) {}
  ~Reaper() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    cv_.notify_one();
    thread_.join();
  }
  void Drop(std::shared_ptr<Home> home) {
    if (!home) return;
    {
      std::lock_guard lock(mutex_);
      queue_.push_back(std::move(home));
    }
    cv_.notify_one();
  }

 private:
  void Run() {
    std::unique_lock lock(mutex_);
    while (true) {
      cv_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      while (!queue_.empty()) {
        auto home = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        home.reset();
        lock.lock();
      }
      if (stopping_) return;
    }
  }
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::shared_ptr<Home>> queue_;
  bool stopping_ = false;
  std::thread thread_;
};

Broker::Impl::Impl() : reaper(std::make_unique<Reaper>()) {}

Broker::Impl::~Impl() {
  for (uint64_t token : board_tokens) publication_board::Unfollow(token);
}

void Broker::Impl::Reap(std::shared_ptr<Home> home) { reaper->Drop(std::move(home)); }

std::shared_ptr<Connection> Broker::Impl::Find(uint64_t id) {
  std::lock_guard lock(mutex);
  auto it = connections.find(id);
  return it == connections.end() ? nullptr : it->second;
}

void Broker::Impl::Forget(Home* home) {
  std::shared_ptr<Home> dropped;
  {
    std::lock_guard lock(mutex);
    for (auto it = live.begin(); it != live.end(); ++it) {
      if (it->get() == home) {
        dropped = *it;
        live.erase(it);
        ended.push_back({home->fax, home->owner, home->status, home->log, home->last_live});
        if (ended.size() > kEndedKept) ended.pop_front();
        break;
      }
    }
  }
  // Called on the home's own apartment: the home may go right here.
}

Broker::Broker(BrokerOptions options) : impl_(std::make_shared<Impl>()) {
  impl_->options = std::move(options);
  RegisterStandIns(*impl_->registry);
  if (impl_->options.register_engine) impl_->options.register_engine(*impl_->registry);
  impl_->free_home = std::make_shared<Home>();
  impl_->free_home->apartment = std::make_unique<Apartment>(impl_->registry, "values");
  impl_->free_home->apartment->Call([] { CurrentApartment()->resources = std::make_shared<QvBkgFaxVmResDll>(); });
  impl_->WatchPublications();
  impl_->RemoveLeftoverSpools();
  impl_->documents = std::make_unique<Apartment>(impl_->registry, "documents");
}

std::shared_ptr<ComponentRegistry> Broker::registry() const { return impl_->registry; }

void Broker::AttachQueue(queue::JobQueue* queue, std::string documents) {
  std::lock_guard lock(impl_->mutex);
  impl_->queue = queue;
  impl_->queue_documents = std::move(documents);
}

void Broker::Impl::TellFollowers(const char* name, const char* method, const json& change) {
  std::vector<std::shared_ptr<Connection>> followers;
  {
    std::lock_guard lock(mutex);
    for (auto& [id, conn] : connections) followers.push_back(conn);
  }
  const std::string line = Notification(method, change);
  for (auto& conn : followers) {
    std::lock_guard lock(conn->mutex);
    if (!conn->closed && conn->follows.count(name)) conn->peer->Send(line);
  }
}

void Broker::JobChanged(const json& change) { impl_->TellFollowers(kJobsName, "job", change); }

void Broker::AttachInbox(queue::Inbox* inbox) {
  std::lock_guard lock(impl_->mutex);
  impl_->inbox = inbox;
}

void Broker::InboxChanged(const json& change) { impl_->TellFollowers(kInboxName, "inbox", change); }

Broker::~Broker() {
  Shutdown();
  impl_->documents.reset();  // a preparation under way finishes first
  std::map<uint64_t, std::shared_ptr<Connection>> connections;
  {
    std::lock_guard lock(impl_->mutex);
    connections.swap(impl_->connections);
  }
  for (auto& [id, conn] : connections) impl_->Close(conn);
  impl_->free_home.reset();
  impl_->reaper.reset();
}

PeerIdentity PeerIdentity::Self() { return {static_cast<int>(::getpid()), static_cast<int>(::getsid(0))}; }

uint64_t Broker::Connect(std::shared_ptr<Peer> peer, PeerIdentity who) {
  auto conn = std::make_shared<Connection>();
  conn->peer = std::move(peer);
  conn->who = who;
  std::lock_guard lock(impl_->mutex);
  conn->id = impl_->next_connection++;
  impl_->connections[conn->id] = conn;
  return conn->id;
}

void Broker::Impl::Hush(Connection& conn) {
  std::lock_guard lock(conn.mutex);
  conn.closed = true;
  conn.follows.clear();
  for (auto& [id, promise] : conn.pending) {
    promise->set_value(json{{"error", {{"message", "The client has disconnected"}, {"data", {{"number", kDisconnected}}}}}});
  }
  conn.pending.clear();
}

void Broker::Impl::Close(const std::shared_ptr<Connection>& conn) {
  Hush(*conn);
  RemoveSpool(*conn);
  std::vector<int64_t> handles;
  {
    std::lock_guard lock(conn->mutex);
    for (auto& [handle, entry] : conn->handles) handles.push_back(handle);
  }
  // Newest first, so a server object's children go before it.
  std::sort(handles.begin(), handles.end(), std::greater<>());
  for (int64_t handle : handles) Release(conn, handle, true);
}

void Broker::Disconnect(uint64_t connection) {
  std::shared_ptr<Connection> conn;
  {
    std::lock_guard lock(impl_->mutex);
    auto it = impl_->connections.find(connection);
    if (it == impl_->connections.end()) return;
    conn = it->second;
    impl_->connections.erase(it);
  }
  impl_->Close(conn);
}

void Broker::Handle(uint64_t connection, const std::string& line) {
  auto conn = impl_->Find(connection);
  if (!conn) return;
  auto parsed = Parse(line);
  if (auto* failure = std::get_if<Failure>(&parsed)) {
    conn->Send(Error(nullptr, *failure));
    return;
  }
  const auto& message = std::get<Message>(parsed);
  if (message.is_response) {
    if (!message.id.is_string()) return;
    std::shared_ptr<std::promise<json>> promise;
    {
      std::lock_guard lock(conn->mutex);
      auto it = conn->pending.find(message.id.get<std::string>());
      if (it == conn->pending.end()) return;
      promise = it->second;
      conn->pending.erase(it);
    }
    json reply = json::object();
    if (message.error) {
      reply["error"] = message.error->is_object() ? *message.error : json{{"message", "invalid error"}};
    } else {
      reply["result"] = message.result;
    }
    promise->set_value(reply);
    return;
  }
  try {
    impl_->Dispatch(conn, message);
  } catch (const SurfaceError& e) {
    impl_->Fail(*conn, message.id, Failure{e.code(), e.what(), nullptr});
  } catch (const AutomationError& e) {
    impl_->Fail(*conn, message.id, FromAutomationError(e));
  } catch (const std::exception& e) {
    impl_->Fail(*conn, message.id, Failure{codes::kInternalError, e.what(), nullptr});
  }
}

void Broker::Shutdown() {
  std::set<std::shared_ptr<Home>> homes;
  std::vector<std::shared_ptr<Connection>> connections;
  {
    std::lock_guard lock(impl_->mutex);
    impl_->shut_down = true;
    homes = impl_->live;
    for (auto& [id, conn] : impl_->connections) connections.push_back(conn);
  }
  // Nobody is told anything from here on, and nobody is waited for.
  for (auto& conn : connections) Impl::Hush(*conn);
  for (const auto& home : homes) {
    home->apartment->Call([h = home.get()] {
      if (!h->server) return;
      RunGuarded("shutdown", [h] {
        h->server->BkgFaxVmEventi(std::make_shared<SilentSink>());
        if (h->server->PortStatus()->Codice() != qbfaxvmps_PortClosed || h->server->InfoFaxModem()) {
          h->server->mobjTimerClosePort_TimerEvent();
        }
        if (h->initialised) h->server->Termina();
      });
      h->server.reset();
    });
  }
  std::set<std::shared_ptr<Home>> dropped;
  {
    std::lock_guard lock(impl_->mutex);
    dropped.swap(impl_->live);
  }
}

size_t Broker::LiveServerObjects() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->live.size();
}

}  // namespace qvfax::rpc
