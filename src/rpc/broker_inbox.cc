// The daemon's inbox methods: the faxes that came in, listed, read, removed
// and followed; `answer` has the engine answer a call on a port (the line
// engine's virtual remote calling, to try receiving) and replies when the
// fax is in.
#include <fmt/format.h>

#include "queue/inbox.h"
#include "rpc/broker_impl.h"
#include "rpc/broker_params.h"

namespace qvfax::rpc {

namespace {

int64_t FaxParam(const json& params) { return IntegerParam(params, "fax", "a fax number"); }

}  // namespace

bool Broker::Impl::DispatchInboxOperation(const std::shared_ptr<Connection>& conn, const Message& message) {
  const std::string& method = message.method;
  const json& params = message.params;
  if ((method == "follow" || method == "unfollow") && params.value("name", json()) == kInboxName) {
    std::lock_guard lock(conn->mutex);
    if (method == "follow") {
      conn->follows[kInboxName] = FollowFilter{};
    } else {
      conn->follows.erase(kInboxName);
    }
    conn->peer->Send(Result(message.id, true));
    return true;
  }
  static const std::set<std::string> kMethods{"inbox", "inbox_fax", "inbox_remove", "answer"};
  if (!kMethods.count(method)) return false;
  queue::Inbox* faxes = nullptr;
  {
    std::lock_guard lock(mutex);
    faxes = inbox;
  }
  if (!faxes) throw SurfaceError(codes::kMethodNotFound, "this qvfaxd keeps no inbox (started with --no-queue)");
  try {
    if (method == "inbox") {
      json list = json::array();
      for (const auto& fax : faxes->List(std::clamp(params.value("limit", 100), 1, 10000))) list.push_back(queue::ToJson(fax));
      Reply(*conn, message.id, list);
    } else if (method == "inbox_fax") {
      const auto fax = faxes->Find(FaxParam(params));
      if (!fax) throw SurfaceError(codes::kRefused, fmt::format("no fax {} in the inbox", FaxParam(params)));
      Reply(*conn, message.id, queue::ToJson(*fax));
    } else if (method == "inbox_remove") {
      if (!faxes->Remove(FaxParam(params))) {
        throw SurfaceError(codes::kRefused, fmt::format("no fax {} in the inbox", FaxParam(params)));
      }
      Reply(*conn, message.id, true);
    } else {  // answer
      const std::string port = OptionalText(params, "port");
      if (port.empty()) throw SurfaceError(codes::kInvalidParams, "params.port must name a port");
      core::IncomingCall from{OptionalText(params, "from"), OptionalText(params, "name"), OptionalText(params, "document")};
      std::weak_ptr<Broker::Impl> weak = shared_from_this();
      AnswerLate(conn, message.id);
      faxes->Answer(port, from, [weak, conn, id = message.id](const std::optional<queue::ReceivedFax>& fax,
                                                              const std::string& error) {
        auto self = weak.lock();
        if (!self) return;
        if (!error.empty()) return self->Fail(*conn, id, Failure{codes::kRefused, error, fax ? queue::ToJson(*fax) : json()});
        self->Reply(*conn, id, queue::ToJson(*fax));
      });
    }
  } catch (const queue::StoreError& e) {
    Fail(*conn, message.id, Failure{codes::kLocalFailure, e.what(), nullptr});
  }
  return true;
}

}  // namespace qvfax::rpc
