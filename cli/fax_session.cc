#include "cli/fax_session.h"

#include <fmt/format.h>

namespace qvfax::cli {

Failure::Failure(const std::string& what, int32_t code, const std::string& description, std::string reason,
                 std::optional<queue::Exit> exit)
    : std::runtime_error(what), code_(code), description_(description), reason_(std::move(reason)), exit_(exit) {}

std::string ClassList(int32_t classes) {
  std::vector<std::string> names;
  if (classes & 1) names.push_back("1");
  if (classes & 2) names.push_back("1.0");
  if (classes & 4) names.push_back("2");
  if (classes & 8) names.push_back("2.0");
  return fmt::format("{}", fmt::join(names, ","));
}

FaxSession::FaxSession(rpc::Client& client) : client_(client) {
  client_.on_request = [this](const std::string& method, const rpc::json& params) -> rpc::json {
    if (method == "AttivitaCambiata") {
      activity = params.value("Codice", -1);
      if (activity == 0) idle_seen_ = true;
    } else if (method == "FineInvio") {
      send_ended = true;
    }
    return nullptr;
  };
  client_.on_notification = [this](const std::string& method, const rpc::json& params) {
    if (method == "fault" && params.value("fax", int64_t{0}) == fax_) {
      fault_.emplace(params.value("number", 0), params.value("message", std::string()));
    }
  };
  const auto created = client_.Call("create", {{"class", "QvVavUvaRazUr"}});
  server_ = created.at("handle").get<int64_t>();
  fax_ = created.value("fax", int64_t{0});
  client_.Call("set", {{"handle", server_}, {"member", "BkgFaxVmEventi"}, {"value", {{"client", true}}}});
  client_.Invoke(server_, "Inizializza");
}

FaxSession::~FaxSession() {
  try {
    client_.Invoke(server_, "Termina");
    client_.Release(server_);
  } catch (const std::exception&) {
    // The daemon may be gone; nothing is left to tidy.
  }
}

void FaxSession::Serve(int ms) { client_.Pump(std::chrono::milliseconds(ms)); }

void FaxSession::ThrowIfStopped() const {
  if (!fault_) return;
  const bool local = queue::IsLocalAutomationError(fault_->first);
  throw Failure("the server stopped: " + fault_->second, 0, "", "",
                local ? queue::Exit::kLocalFailure : queue::Exit::kLineFailure);
}

void FaxSession::RunAndWaitIdle(const std::string& command) {
  idle_seen_ = false;
  client_.Invoke(server_, command);
  const auto deadline = std::chrono::steady_clock::now() + kLongestCommand;
  while (!idle_seen_) {
    ThrowIfStopped();
    if (std::chrono::steady_clock::now() > deadline) {
      throw Failure(fmt::format("{} did not end within {} minutes", command, kLongestCommand.count()), 0, "", "",
                    queue::Exit::kLineFailure);
    }
    // Silence is not an answer: a daemon that stopped answering is found by a
    // call of its own, bounded by --timeout.
    if (!client_.Pump(std::chrono::milliseconds(1000))) client_.Get(server_, "PagineTrasmesse");
  }
}

std::vector<ModemSummary> FaxSession::Detect(const std::string& preferred_port) {
  client_.Let(server_, "PortaPredefinita", preferred_port);
  RunAndWaitIdle("RilevaModem");
  const int64_t list = client_.GetObject(server_, "InfoModems");
  std::vector<ModemSummary> modems;
  const int count = client_.Get(list, "Count").get<int>();
  for (int i = 0; i < count; ++i) {
    const int64_t modem = client_.Invoke(list, "Item", {i}).at("handle").get<int64_t>();
    modems.push_back({client_.Get(modem, "Porta").get<std::string>(),
                      client_.Get(modem, "IdentificativoModem").get<std::string>(),
                      client_.Get(modem, "DescrizioneModem").get<std::string>(),
                      client_.Get(modem, "ClassiFax").get<int32_t>()});
    client_.Release(modem);
  }
  client_.Release(list);
  return modems;
}

void FaxSession::Open(const std::string& port) {
  client_.Invoke(server_, "SelezionaFaxModem", {port});
  if (client_.Get(server_, "InfoFaxModem").is_null()) {
    throw Failure(port.empty() ? "no fax modem was found" : "no fax modem was found on " + port, -2,
                  "No modem detected on port.", EngineReason());
  }
  client_.Let(server_, "TestDialTone", true);
  RunAndWaitIdle("ApriPorta");
  const int64_t status = client_.GetObject(server_, "PortStatus");
  if (client_.Get(status, "Codice").get<int32_t>() != 0) {
    const int64_t error = client_.GetObject(server_, "Errore");
    const int32_t code = client_.Get(error, "Codice").get<int32_t>();
    const std::string text = client_.Invoke(error, "Descrizione").get<std::string>();
    throw Failure("the port did not open", code, text, EngineReason());
  }
}

std::string FaxSession::EngineReason() {
  const int64_t progress = client_.GetObject(server_, "Avanzamento");
  std::string reason = client_.Get(progress, "Status").get<std::string>();
  client_.Release(progress);
  return reason == "Idle" ? "" : reason;
}

void FaxSession::Close() { RunAndWaitIdle("ChiudiPorta"); }

}  // namespace qvfax::cli
