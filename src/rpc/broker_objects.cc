// The object model by handle: creating objects in their apartments,
// getting, letting and calling their published members there, answering
// with values or handles, and releasing what a client no longer holds.
#include <fmt/format.h>

#include "components/modem_info.h"
#include "platform/automation_error.h"
#include "queue/job_queue.h"
#include "queue/send_outcome.h"
#include "rpc/broker_impl.h"
#include "rpc/broker_params.h"
#include "rpc/remote_sink.h"
#include "rpc/surface.h"
#include "values/coded_values.h"

namespace qvfax::rpc {

// The answer to a call: a value, or a handle for an object.
json Broker::Impl::Answer(Connection& conn, const Value& value, const std::shared_ptr<Home>& home) {
  if (auto* plain = std::get_if<json>(&value)) return *plain;
  const auto& object = std::get<Object>(value);
  std::unique_lock lock(conn.mutex);
  if (conn.closed) {
    // The client went before its answer: nobody will release what it asked
    // for, so a server object it created goes now (after its work, if any).
    lock.unlock();
    if (object.class_name == kServerClass && home && home->server == object.ptr) ReleaseServer(home);
    return nullptr;
  }
  auto known = conn.by_object.find(object.ptr.get());
  int64_t handle;
  if (known != conn.by_object.end()) {
    handle = known->second;
  } else {
    handle = conn.next_handle++;
    conn.handles[handle] = Entry{home, object, 0};
    conn.by_object[object.ptr.get()] = handle;
  }
  ++conn.handles[handle].refs;
  json answer{{"handle", handle}, {"class", object.class_name}};
  // A server object is also a fax of the daemon's, named so in its operations.
  if (object.class_name == kServerClass && home && home->fax != 0) answer["fax"] = home->fax;
  return answer;
}

std::shared_ptr<Home> Broker::Impl::NewServerHome(const PeerIdentity& owner) {
  auto home = std::make_shared<Home>();
  home->apartment = std::make_unique<Apartment>(registry, "server");
  home->context = home->apartment->Call([] { return static_cast<const ApartmentContext*>(CurrentApartment()); });
  home->owner = owner;
  return home;
}

// The client-side request a RemoteSink makes, waiting at most the timeout.
RequestFn Broker::Impl::SinkRequests(std::weak_ptr<Connection> weak) {
  const auto timeout = options.sink_timeout;
  return [weak, timeout](const std::string& method, const json& params) {
    auto conn = weak.lock();
    auto promise = std::make_shared<std::promise<json>>();
    auto answer = promise->get_future();
    std::string id;
    {
      if (!conn) throw AutomationError(kDisconnected, "qvfaxd", "The client has disconnected");
      std::lock_guard lock(conn->mutex);
      if (conn->closed) throw AutomationError(kDisconnected, "qvfaxd", "The client has disconnected");
      id = fmt::format("sink-{}", conn->next_request++);
      conn->pending[id] = promise;
      conn->peer->Send(Request(id, method, params));
    }
    if (answer.wait_for(timeout) != std::future_status::ready) {
      std::lock_guard lock(conn->mutex);
      conn->pending.erase(id);
      throw AutomationError(kTimedOut, "qvfaxd",
                            fmt::format("The client did not answer {} within {} ms", method, timeout.count()));
    }
    const json reply = answer.get();
    if (reply.contains("error")) {
      const auto& error = reply["error"];
      const auto data = error.value("data", json::object());
      throw AutomationError(data.value("number", kDisconnected), data.value("source", std::string("client")),
                            error.value("message", std::string("The client's sink failed")));
    }
  };
}

namespace {

// Runs `work` on the home's apartment and answers the request with its
// result or its error.
template <typename Work>
void RunThere(const std::shared_ptr<Broker::Impl>& impl, const std::shared_ptr<Connection>& conn,
              const std::shared_ptr<Home>& home, const json& id, Work work) {
  Home* where = home.get();
  std::weak_ptr<Broker::Impl> weak = impl;
  where->apartment->Post([weak, conn, home_ref = std::weak_ptr<Home>(home), id, work = std::move(work)] {
    auto impl = weak.lock();
    auto home = home_ref.lock();
    if (!impl || !home) return;
    try {
      impl->Reply(*conn, id, impl->Answer(*conn, work(*home), home));
    } catch (const AutomationError& e) {
      impl->Fail(*conn, id, FromAutomationError(e));
    } catch (const SurfaceError& e) {
      impl->Fail(*conn, id, Failure{e.code(), e.what(), nullptr});
    } catch (const std::exception& e) {
      impl->Fail(*conn, id, Failure{codes::kInternalError, e.what(), nullptr});
    }
  });
}

int64_t HandleParam(const json& params) { return IntegerParam(params, "handle", "an integer"); }

json ArgsParam(const json& params) {
  auto it = params.find("args");
  if (it == params.end()) return json::array();
  if (!it->is_array()) throw SurfaceError(codes::kInvalidParams, "params.args must be a list");
  return *it;
}

}  // namespace

void Broker::Impl::Dispatch(const std::shared_ptr<Connection>& conn, const Message& message) {
  const json& params = message.params;
  if (!params.is_object()) throw SurfaceError(codes::kInvalidParams, "params must be an object");
  const std::string& method = message.method;
  auto self = shared_from_this();

  if (method == "create") {
    const std::string class_name = RequiredText(params, "class");
    if (!IsCreatable(class_name)) throw SurfaceError(codes::kNotPermitted, "clients may not create " + class_name);
    std::shared_ptr<Home> home;
    if (class_name == kServerClass) {
      home = NewServerHome(conn->who);
      std::lock_guard lock(mutex);
      if (shut_down) throw SurfaceError(codes::kNotPermitted, "the daemon is shutting down");
      home->fax = next_fax++;
      live.insert(home);
      // A handler that failed left the fax where it was: the client hears of it
      // rather than waiting for an end that will not come.
      home->apartment->Post([weak = std::weak_ptr<Connection>(conn), fax = home->fax] {
        CurrentApartment()->log_label = fmt::format("fax {}", fax);
        CurrentApartment()->on_fault = [weak, fax](int32_t number, const std::string& text) {
          if (auto c = weak.lock()) c->Send(Notification("fault", {{"fax", fax}, {"number", number}, {"message", text}}));
        };
      });
    } else {
      home = free_home;
    }
    RunThere(self, conn, home, message.id, [class_name, self](Home& h) -> Value {
      if (class_name != kServerClass) return CreateValueObject(class_name);
      try {
        h.server = std::make_shared<QvVavUvaRazUr>();
      } catch (...) {
        self->Forget(&h);
        throw;
      }
      return Object{kServerClass, h.server};
    });
    return;
  }

  if (method == "get" || method == "let" || method == "call" || method == "set") {
    const int64_t handle = HandleParam(params);
    const std::string member = RequiredText(params, "member");
    Entry entry;
    {
      std::lock_guard lock(conn->mutex);
      auto it = conn->handles.find(handle);
      if (it == conn->handles.end()) {
        throw SurfaceError(codes::kUnknownHandle, fmt::format("no object with handle {}", handle));
      }
      entry = it->second;
    }
    if (method == "set") {
      if (entry.object.class_name != kServerClass || member != "BkgFaxVmEventi") {
        throw SurfaceError(codes::kUnknownMember, entry.object.class_name + " has no object property named \"" +
                                                      member + "\" to set");
      }
      const json value = params.value("value", json());
      std::shared_ptr<BkgFaxVmEventi> sink;
      if (value.is_object() && value.value("client", false) == true) {
        sink = std::make_shared<RemoteSink>(handle, SinkRequests(conn));
        sink = WithHistory(sink, entry.home);
      } else if (!value.is_null()) {
        throw SurfaceError(codes::kInvalidParams, "params.value must be null or {\"client\": true}");
      }
      RunThere(self, conn, entry.home, message.id, [sink](Home& h) -> Value {
        h.server->BkgFaxVmEventi(sink);
        return json();
      });
      return;
    }
    const Access access = method == "get" ? Access::kGet : method == "let" ? Access::kLet : Access::kCall;
    json args;
    if (access == Access::kLet) {
      if (!params.contains("value")) throw SurfaceError(codes::kInvalidParams, "params.value is required");
      args = params["value"];
    } else {
      args = ArgsParam(params);
    }
    const bool is_server = entry.object.class_name == kServerClass;
    RunThere(self, conn, entry.home, message.id, [object = entry.object, access, member, args, is_server](Home& h) {
      Value result = Invoke(object, access, member, args);
      if (is_server && access == Access::kCall) {
        if (member == "Inizializza") h.initialised = true;
        if (member == "Termina") h.initialised = false;
      }
      return result;
    });
    return;
  }

  if (method == "release") {
    Release(conn, HandleParam(params), false);
    Reply(*conn, message.id, true);
    return;
  }

  if (DispatchJobOperation(conn, message)) return;
  if (DispatchInboxOperation(conn, message)) return;
  if (DispatchFaxOperation(conn, message)) return;
  if (DispatchDocumentOperation(conn, message)) return;

  throw SurfaceError(codes::kMethodNotFound, "no method \"" + method + "\"");
}

void Broker::Impl::Release(const std::shared_ptr<Connection>& conn, int64_t handle, bool forced) {
  Entry entry;
  {
    std::lock_guard lock(conn->mutex);
    auto it = conn->handles.find(handle);
    if (it == conn->handles.end()) {
      if (forced) return;
      throw SurfaceError(codes::kUnknownHandle, fmt::format("no object with handle {}", handle));
    }
    if (!forced && --it->second.refs > 0) return;
    entry = std::move(it->second);
    conn->by_object.erase(entry.object.ptr.get());
    conn->handles.erase(it);
  }
  const bool is_server = entry.object.class_name == kServerClass;
  // Objects die on their own apartment's thread.
  entry.home->apartment->Post([object = std::move(entry.object)]() mutable { object.ptr.reset(); });
  if (is_server) ReleaseServer(entry.home);
  Reap(std::move(entry.home));
}

std::shared_ptr<BkgFaxVmEventi> Broker::Impl::WithHistory(std::shared_ptr<BkgFaxVmEventi> sink,
                                                          const std::shared_ptr<Home>& home) {
  {
    std::lock_guard lock(mutex);
    if (!queue) return sink;  // no store to keep it in
  }
  auto started_ms = std::make_shared<int64_t>(0);
  const auto now_ms = [] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
  };
  std::weak_ptr<Impl> weak = shared_from_this();
  std::weak_ptr<Home> weak_home = home;
  return std::make_shared<HistorySink>(
      std::move(sink), [started_ms, now_ms] { *started_ms = now_ms(); },
      [weak, weak_home, started_ms, now_ms] {
        auto impl = weak.lock();
        auto h = weak_home.lock();
        if (!impl || !h || !h->server) return;
        queue::Attempt attempt;
        queue::ReadSendOutcome(*h->server, attempt);
        queue::JobRequest request;
        request.number = h->server->NumeroFax();
        request.pages = h->server->PagineDaTrasmettere();
        request.owner_pid = h->owner.pid;
        request.owner_session = h->owner.session;
        if (const auto modem = h->server->InfoFaxModem()) attempt.port = modem->Porta();
        attempt.started_ms = *started_ms ? *started_ms : now_ms();
        attempt.ended_ms = now_ms();
        attempt.outcome = queue::ConcludeOutcome(attempt, request.pages, false);
        std::lock_guard lock(impl->mutex);
        attempt.log = h->log;
        if (impl->queue) impl->queue->RecordDirect(attempt, request);
      });
}

json LiveValues(QvVavUvaRazUr& server) {
  json live;
  RunGuarded("faxes", [&] {
    live = {{"number", server.NumeroFax()},
            {"pages_total", server.PagineDaTrasmettere()},
            {"pages_sent", server.PagineTrasmesse()}};
  });
  return live;
}

void Broker::Impl::ReleaseServer(std::shared_ptr<Home> home) {
  std::weak_ptr<Broker::Impl> weak = shared_from_this();
  Home* h = home.get();
  h->apartment->Post([weak, h, weak_home = std::weak_ptr<Home>(home)] {
    auto impl = weak.lock();
    if (!impl || !h->server) return;
    if (!h->server->LavoroInCorso()) {
      h->last_live = LiveValues(*h->server);
      h->server.reset();
      impl->Forget(h);
      return;
    }
    // Its client is gone: let the work finish, with nobody to tell but the history.
    std::shared_ptr<BkgFaxVmEventi> silent = std::make_shared<SilentSink>();
    if (auto strong = weak_home.lock()) silent = impl->WithHistory(silent, strong);
    h->server->BkgFaxVmEventi(silent);
    // The clock holds the only strong reference, so a poll dropped with its
    // apartment frees itself.
    auto poll = std::make_shared<std::function<void()>>();
    std::weak_ptr<std::function<void()>> again = poll;
    *poll = [weak, h, again] {
      auto impl = weak.lock();
      if (!impl || !h->server) return;
      if (h->server->LavoroInCorso()) {
        if (auto next = again.lock()) {
          CurrentApartment()->clock->Schedule(std::chrono::milliseconds(1000), [next] { (*next)(); });
        }
        return;
      }
      h->last_live = LiveValues(*h->server);
      h->server.reset();
      impl->Forget(h);
    };
    CurrentApartment()->clock->Schedule(std::chrono::milliseconds(1000), [poll] { (*poll)(); });
  });
}

}  // namespace qvfax::rpc
