// The faxes that came in, as qvfaxd keeps them: listed, one shown, removed;
// and a call answered on a port, to try receiving (on the line engine, its
// virtual remote calls and sends a document).
#include <filesystem>
#include <iostream>

#include <fmt/format.h>

#include "cli/commands.h"
#include "cli/connection.h"
#include "documents/fax_pdf.h"
#include "rpc/client.h"

namespace qvfax::cli {

namespace {

std::unique_ptr<rpc::Client> Daemon(const Common& common) { return RequireDaemon(common, "the inbox"); }

std::string Caller(const rpc::json& fax) {
  const std::string number = fax.value("caller_number", ""), name = fax.value("caller_name", "");
  if (number.empty() && name.empty()) return "-";
  return name.empty() ? number : number.empty() ? name : number + " (" + name + ")";
}

std::string Outcome(const rpc::json& fax) {
  return fax.value("complete", false) ? "complete" : "partial: " + fax.value("reason", "");
}

void PrintList(const rpc::json& faxes) {
  std::cout << fmt::format("{:>5}  {:<19}  {:<8} {:<24} {:<20} {:>5}  {}\n", "FAX", "RECEIVED", "PORT", "CALLER",
                           "SENDER", "PAGES", "OUTCOME");
  for (const auto& fax : faxes) {
    std::cout << fmt::format("{:>5}  {:<19}  {:<8} {:<24} {:<20} {:>5}  {}\n", fax.value("id", 0),
                             LocalTime(fax.value("received_ms", int64_t{0})), fax.value("port", ""), Caller(fax),
                             fax.value("remote_id", "").empty() ? "-" : fax.value("remote_id", ""), fax.value("pages", 0),
                             Outcome(fax));
  }
}

void PrintOne(const rpc::json& fax) {
  std::cout << fmt::format(
      "Fax {} received {} on {}\n  caller: {}\n  sender's id: {}\n  pages: {} at {} dpi, {} bit/s, {}\n  call: {:.1f} s, "
      "{}\n  file: {}\n",
      fax.value("id", 0), LocalTime(fax.value("received_ms", int64_t{0})), fax.value("port", ""), Caller(fax),
      fax.value("remote_id", "").empty() ? "-" : fax.value("remote_id", ""), fax.value("pages", 0), fax.value("y_dpi", 0),
      fax.value("bit_rate", 0), fax.value("ecm", false) ? "ECM" : "no ECM", fax.value("duration_ms", 0) / 1000.0,
      Outcome(fax), fax.value("file", "").empty() ? "(no page came)" : fax.value("file", ""));
}

}  // namespace

int Inbox(const Common& common, const InboxRequest& request) {
  try {
    auto client = Daemon(common);
    rpc::json answer;
    if (request.action == "list") {
      answer = client->Call("inbox", {{"limit", request.limit}});
      if (!common.json) PrintList(answer);
    } else if (request.action == "show") {
      answer = client->Call("inbox_fax", {{"fax", request.fax}});
      if (!common.json) PrintOne(answer);
    } else if (request.action == "pdf") {
      answer = client->Call("inbox_fax", {{"fax", request.fax}});
      if (answer.value("file", "").empty()) throw std::runtime_error(fmt::format("fax {} brought no page", request.fax));
      documents::WriteFaxPdf(answer.value("file", ""), request.document);
      if (!common.json) std::cout << fmt::format("Fax {} written to {}", request.fax, request.document) << std::endl;
      answer = {{"fax", request.fax}, {"pdf", request.document}};
    } else if (request.action == "rm") {
      answer = client->Call("inbox_remove", {{"fax", request.fax}});
      if (!common.json) std::cout << fmt::format("Fax {} removed", request.fax) << std::endl;
    } else {  // answer
      std::error_code ec;
      const auto document = std::filesystem::absolute(request.document, ec);
      answer = client->Call("answer", {{"port", request.port},
                                       {"from", request.from},
                                       {"name", request.name},
                                       {"document", ec ? request.document : document.string()}});
      if (!common.json) PrintOne(answer);
      if (!answer.value("complete", false)) {
        if (common.json) std::cout << answer.dump() << std::endl;
        return static_cast<int>(Exit::kLineFailure);
      }
    }
    if (common.json) std::cout << answer.dump() << std::endl;
    return 0;
  } catch (...) {
    return ReportError(common, std::current_exception());
  }
}

}  // namespace qvfax::cli
