// A fax sent through qvfaxd as a client drives the object model: detect,
// open, send and close, with the times the sink and the live log tell.
#pragma once

#include <chrono>
#include <string>

#include "rpc/client.h"

namespace qvfax::bench {

using Clock = std::chrono::steady_clock;

inline double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct ServerTimes {
  double total_ms = 0;
  double send_command_ms = 0;  // Invia to activity 0, the object model's timers included
  double transmission_ms = 0;  // the send's start to its end, as the sink hears them
  double call_ms = 0;          // the send timer's tick to the engine's end of the call, from the log
  int pages = 0;
};

inline ServerTimes SendThroughServer(const std::string& socket, const std::string& file) {
  const auto start = Clock::now();
  rpc::Client client(rpc::ConnectUnixSocket(socket));
  int activity = -1;
  bool ended = false;
  Clock::time_point started{}, finished{}, terminated{};
  // The log is published as each line is written: the call's end shows in it
  // at once, where the sink hears of it at the next tick of the end timer.
  client.on_notification = [&](const std::string& method, const rpc::json& params) {
    if (method != "published" || params.value("name", "") != "QvVavUvaRazUr_Log") return;
    if (terminated == Clock::time_point{} &&
        params.value("text", "").find("Transmission terminated on port") != std::string::npos) {
      terminated = Clock::now();
    }
  };
  client.on_request = [&](const std::string& method, const rpc::json& params) -> rpc::json {
    if (method == "AttivitaCambiata") activity = params.value("Codice", -1);
    if (method == "InizioInvio") started = Clock::now();
    if (method == "FineInvio") {
      finished = Clock::now();
      ended = true;
    }
    return nullptr;
  };
  auto wait_idle = [&] {
    while (activity != 0) client.Pump(std::chrono::milliseconds(5));
  };
  const int64_t server = client.Create("QvVavUvaRazUr");
  client.Call("follow", {{"name", "QvVavUvaRazUr_Log"}, {"scope", "own"}});
  client.Call("set", {{"handle", server}, {"member", "BkgFaxVmEventi"}, {"value", {{"client", true}}}});
  client.Invoke(server, "Inizializza");
  activity = -1;
  client.Invoke(server, "RilevaModem");
  wait_idle();
  client.Invoke(server, "SelezionaFaxModem");
  activity = -1;
  client.Invoke(server, "ApriPorta");
  wait_idle();
  client.Let(server, "NumeroFax", "0612345678");
  client.Let(server, "FilesTif", file);
  const auto sending = Clock::now();
  activity = -1;
  client.Invoke(server, "Invia");
  while (!ended || activity != 0) client.Pump(std::chrono::milliseconds(5));
  ServerTimes times;
  times.send_command_ms = Ms(Clock::now() - sending);
  times.transmission_ms = Ms(finished - started);
  times.call_ms = Ms(terminated - started);
  times.pages = client.Get(server, "PagineTrasmesse").get<int>();
  activity = -1;
  client.Invoke(server, "ChiudiPorta");
  wait_idle();
  client.Invoke(server, "Termina");
  client.Release(server);
  times.total_ms = Ms(Clock::now() - start);
  return times;
}

}  // namespace qvfax::bench
