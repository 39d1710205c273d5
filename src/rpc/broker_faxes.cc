// The daemon's operations on faxes as a whole, beside the object model: the
// list of faxes with their latest status and log, following their
// publications, and cancelling. A fax belongs to the session of the client
// that created its server object, so a caller can pick out its own.
#include <optional>

#include <fmt/format.h>

#include "components/publication_board.h"
#include "platform/automation_error.h"
#include "rpc/broker_impl.h"

namespace qvfax::rpc {

namespace {

constexpr const char* kStatusName = "QvVavUvaRazUr";
constexpr const char* kLogName = "QvVavUvaRazUr_Log";

bool Matches(const FollowFilter& filter, int64_t fax, const PeerIdentity& owner, const Connection& conn) {
  if (filter.fax != 0) return filter.fax == fax;
  return !filter.own || owner.session == conn.who.session;
}

bool Matches(const FollowFilter& filter, const Home& home, const Connection& conn) {
  return Matches(filter, home.fax, home.owner, conn);
}

// Reads the choice of faxes in `params`: {"fax": N}, or {"scope": "own"|"all"}
// with `default_scope` when neither is given.
FollowFilter FilterParam(const json& params, const char* default_scope) {
  FollowFilter filter;
  if (auto fax = params.find("fax"); fax != params.end()) {
    if (!fax->is_number_integer() || fax->get<int64_t>() <= 0) {
      throw SurfaceError(codes::kInvalidParams, "params.fax must be a positive integer");
    }
    filter.fax = fax->get<int64_t>();
    return filter;
  }
  const json scope = params.value("scope", json(default_scope));
  if (scope != "own" && scope != "all") throw SurfaceError(codes::kInvalidParams, "params.scope must be \"own\" or \"all\"");
  filter.own = scope == "own";
  return filter;
}

}  // namespace

void Broker::Impl::WatchPublications() {
  std::weak_ptr<Impl> weak = shared_from_this();
  for (const char* name : {kStatusName, kLogName}) {
    board_tokens.push_back(publication_board::Follow(name, [weak](const std::string& n, const std::string& text) {
      auto impl = weak.lock();
      if (!impl) return;
      const ApartmentContext* here = CurrentApartment();
      std::shared_ptr<Home> home;
      std::vector<std::shared_ptr<Connection>> followers;
      {
        std::lock_guard lock(impl->mutex);
        for (const auto& h : impl->live) {
          if (h->context == here) home = h;
        }
        if (!home) return;  // another broker's server object
        (n == kStatusName ? home->status : home->log) = text;
        for (const auto& [id, conn] : impl->connections) followers.push_back(conn);
      }
      // Written out only for a follower: most publications have none.
      std::optional<std::string> line;
      for (const auto& conn : followers) {
        std::lock_guard lock(conn->mutex);
        auto follow = conn->follows.find(n);
        if (conn->closed || follow == conn->follows.end() || !Matches(follow->second, *home, *conn)) continue;
        if (!line) line = Notification("published", {{"name", n}, {"text", text}, {"fax", home->fax}});
        conn->peer->Send(*line);
      }
    }));
  }
}

std::vector<std::shared_ptr<Home>> Broker::Impl::Chosen(const Connection& conn, const json& params) const {
  const FollowFilter filter = FilterParam(params, "all");
  std::vector<std::shared_ptr<Home>> chosen;
  std::lock_guard lock(mutex);
  for (const auto& home : live) {
    if (Matches(filter, *home, conn)) chosen.push_back(home);
  }
  std::sort(chosen.begin(), chosen.end(), [](const auto& a, const auto& b) { return a->fax < b->fax; });
  return chosen;
}

bool Broker::Impl::DispatchFaxOperation(const std::shared_ptr<Connection>& conn, const Message& message) {
  const std::string& method = message.method;
  const json& params = message.params;

  if (method == "follow" || method == "unfollow") {
    auto name = params.find("name");
    if (name == params.end() || !name->is_string()) throw SurfaceError(codes::kInvalidParams, "params.name must be a string");
    if (*name != kStatusName && *name != kLogName) {
      throw SurfaceError(codes::kInvalidParams, fmt::format("nothing is published under {}", name->dump()));
    }
    const FollowFilter filter = FilterParam(params, "all");
    {
      std::lock_guard lock(conn->mutex);
      if (method == "follow") {
        conn->follows[*name] = filter;
      } else {
        conn->follows.erase(*name);
      }
    }
    Reply(*conn, message.id, true);
    return true;
  }

  if (method == "engine") {
    Reply(*conn, message.id, options.engine);
    return true;
  }

  if (method == "faxes") {
    // The document shows the number and the pages as of the last
    // Inizializza; the live values are read on each fax's own apartment, and
    // the answer goes when the last of them has been read.
    const auto chosen = Chosen(*conn, params);
    struct Gather {
      std::mutex mutex;
      json list;
      size_t left = 0;
    };
    auto gather = std::make_shared<Gather>();
    gather->list = json::array();
    gather->left = chosen.size();
    if (chosen.empty()) {
      // With none under way, the newest that ended, when asked for: right after
      // a send its client still finds it.
      if (params.value("ended", false)) {
        const FollowFilter filter = FilterParam(params, "all");
        std::lock_guard lock(mutex);
        for (auto it = ended.rbegin(); it != ended.rend(); ++it) {
          if (!Matches(filter, it->fax, it->owner, *conn)) continue;
          gather->list.push_back({{"fax", it->fax}, {"pid", it->owner.pid}, {"own", it->owner.session == conn->who.session},
                                  {"status", it->status}, {"log", it->log}, {"ended", true}});
          if (!it->live.is_null()) gather->list.back()["live"] = it->live;
          break;
        }
      }
      Reply(*conn, message.id, gather->list);
      return true;
    }
    {
      std::lock_guard lock(mutex);
      for (const auto& home : chosen) {
        gather->list.push_back({{"fax", home->fax},
                                {"pid", home->owner.pid},
                                {"own", home->owner.session == conn->who.session},
                                {"status", home->status},
                                {"log", home->log}});
      }
    }
    // Each fax's share of the answer counts as done when its task has run or
    // was dropped with its apartment, so the answer always goes.
    struct Share {
      std::shared_ptr<Broker::Impl> impl;
      std::shared_ptr<Connection> conn;
      json id;
      std::shared_ptr<Gather> gather;
      size_t index = 0;
      json live;
      ~Share() {
        std::lock_guard lock(gather->mutex);
        if (!live.is_null()) gather->list[index]["live"] = live;
        if (--gather->left == 0) impl->Reply(*conn, id, gather->list);
      }
    };
    for (size_t i = 0; i < chosen.size(); ++i) {
      auto share = std::make_shared<Share>();
      share->impl = shared_from_this();
      share->conn = conn;
      share->id = message.id;
      share->gather = gather;
      share->index = i;
      chosen[i]->apartment->Post([share, h = std::weak_ptr<Home>(chosen[i])] {
        auto home = h.lock();
        if (!home || !home->server) return;
        share->live = LiveValues(*home->server);
      });
    }
    return true;
  }

  if (method == "cancel") {
    const auto chosen = Chosen(*conn, params);
    for (const auto& home : chosen) {
      home->apartment->Post([weak = weak_from_this(), h = std::weak_ptr<Home>(home)] {
        auto impl = weak.lock();
        auto home = h.lock();
        if (!impl || !home) return;
        if (home->server) RunGuarded("cancel", [&] { home->server->AnnullaFax(); });
      });
    }
    Reply(*conn, message.id, static_cast<int>(chosen.size()));
    return true;
  }
  return false;
}

}  // namespace qvfax::rpc
