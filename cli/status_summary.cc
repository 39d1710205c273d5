#include "cli/status_summary.h"

#include <cstdlib>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "values/enums.h"

namespace qvfax::cli {

namespace {

int Number(const pugi::xml_node& node) { return std::atoi(node.child_value()); }

Coded CodedOf(const pugi::xml_node& node) { return {Number(node.child("Codice")), node.child_value("Descrizione")}; }

std::string Or(const std::string& text, const char* otherwise) { return text.empty() ? otherwise : text; }

nlohmann::json CodedJson(const Coded& coded) { return {{"code", coded.code}, {"description", coded.description}}; }

}  // namespace

std::optional<StatusSummary> Summarize(const std::string& xml) {
  pugi::xml_document doc;
  if (!doc.load_string(xml.c_str())) return std::nullopt;
  const auto root = doc.child("VavUvaRazUr");
  if (!root) return std::nullopt;
  StatusSummary s;
  s.activity = CodedOf(root.child("Attivita"));
  s.port_status = CodedOf(root.child("PortStatus"));
  s.termination = CodedOf(root.child("TRMStatus"));
  s.error = CodedOf(root.child("Errore"));
  // The selected modem: the document keeps an empty element until one is chosen.
  const auto modem = root.child("InfoFaxModem");
  s.modem = modem.child_value("DescrizioneModem");
  s.port = modem.child_value("Porta");
  s.number = root.child_value("NumeroFax");
  s.progress = root.child("Avanzamento").child_value("Status");
  s.pages_sent = Number(root.child("PagineTrasmesse"));
  s.pages_total = Number(root.child("PagineDaTrasmettere"));
  return s;
}

std::string FormatSummary(const std::string& title, const StatusSummary& s) {
  std::string text = title + "\n";
  auto row = [&](const char* label, const std::string& value) { text += fmt::format("  {:<13}{}\n", label, value); };
  row("Activity:", s.activity.description);
  // A soft modem's description may name its line already.
  const std::string modem = Or(s.modem, "unnamed modem");
  row("Modem:", s.port.empty()                                ? "none selected"
                : modem.find(s.port) != std::string::npos ? modem
                                                            : fmt::format("{} on {}", modem, s.port));
  row("Port:", s.port_status.description);
  row("Number:", Or(s.number, "not set"));
  row("Pages:", fmt::format("{} of {} sent", s.pages_sent, s.pages_total));
  if (!s.progress.empty()) row("Line:", s.progress);
  // While a fax is being sent it has no termination yet: the one shown would be the last fax's.
  if (s.activity.code != qbfaxvma_TrasmissioneFax) {
    row("Termination:", fmt::format("{} ({})", s.termination.description, s.termination.code));
  }
  row("Error:", fmt::format("{} ({})", s.error.description, s.error.code));
  return text;
}

nlohmann::json SummaryJson(const StatusSummary& s) {
  return {{"activity", CodedJson(s.activity)},
          {"modem", s.modem},
          {"port", s.port},
          {"port_status", CodedJson(s.port_status)},
          {"number", s.number},
          {"pages_sent", s.pages_sent},
          {"pages_total", s.pages_total},
          {"progress", s.progress},
          {"termination", CodedJson(s.termination)},
          {"error", CodedJson(s.error)}};
}

}  // namespace qvfax::cli
