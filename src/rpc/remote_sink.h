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

// Passes every notification on to `inner`; when a send starts and ends it
// tells `started` and `ended` first, on the server object's thread, so the
// daemon can keep the fax in its history whatever the client does.
class HistorySink : public BkgFaxVmEventi {
 public:
  HistorySink(std::shared_ptr<BkgFaxVmEventi> inner, std::function<void()> started, std::function<void()> ended)
      : inner_(std::move(inner)), started_(std::move(started)), ended_(std::move(ended)) {}

  void AttivitaCambiata(QvBkgFaxVmAttivita& attivita) override { inner_->AttivitaCambiata(attivita); }
  void InizioInvio() override {
    started_();
    inner_->InizioInvio();
  }
  void FineInvio() override {
    ended_();
    inner_->FineInvio();
  }

 private:
  std::shared_ptr<BkgFaxVmEventi> inner_;
  std::function<void()> started_, ended_;
};

class SilentSink : public BkgFaxVmEventi {
 public:
  void AttivitaCambiata(QvBkgFaxVmAttivita&) override {}
  void InizioInvio() override {}
  void FineInvio() override {}
};

}  // namespace qvfax::rpc
