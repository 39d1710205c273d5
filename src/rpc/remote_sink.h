// Events sinks that live in the daemon: one that carries each notification
// to the client as a JSON-RPC request and waits for its answer, and one that
// accepts every notification silently, for server objects whose client left.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "components/events_sink.h"

namespace qvfax::rpc {

// Sends a request to the client and waits for the answer; the function
// raises an automation error when the client fails or does not answer in time.
using RequestFn = std::function<void(const std::string& method, const nlohmann::json& params)>;

class RemoteSink : public BkgFaxVmEventi {
 public:
  RemoteSink(int64_t server_handle, RequestFn request)
      : server_handle_(server_handle), request_(std::move(request)) {}

  void AttivitaCambiata(QvBkgFaxVmAttivita& attivita) override;
  void InizioInvio() override;
  void FineInvio() override;

 private:
  int64_t server_handle_;
  RequestFn request_;
};

class SilentSink : public BkgFaxVmEventi {
 public:
  void AttivitaCambiata(QvBkgFaxVmAttivita&) override {}
  void InizioInvio() override {}
  void FineInvio() override {}
};

}  // namespace qvfax::rpc
