// What a person wants to know from a status document: what the server is
// doing, on which modem, to which number, how far, and how it ended.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace qvfax::cli {

struct Coded {
  int32_t code = 0;
  std::string description;
};

struct StatusSummary {
  Coded activity, port_status, termination, error;
  std::string modem, port, number;
  std::string progress;  // what the line is doing now, as the control says
  int pages_sent = 0, pages_total = 0;
};

// Nothing when `xml` is not a status document.
std::optional<StatusSummary> Summarize(const std::string& xml);

// A few aligned lines under a title line.
std::string FormatSummary(const std::string& title, const StatusSummary& summary);
nlohmann::json SummaryJson(const StatusSummary& summary);

}  // namespace qvfax::cli
