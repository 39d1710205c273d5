// A date as the object model keeps it: days since 30 December 1899 in local
// time, the fraction being the time of day.
#pragma once

#include <chrono>
#include <string>

namespace qvfax {

struct OleDate {
  double days = 0.0;

  static OleDate FromLocal(int year, int month, int day, int hour, int minute, int second);
  static OleDate FromSystemTime(std::chrono::system_clock::time_point when);

  // "dd/mm/yyyy hh.nn.ss", the form of dates in log lines.
  std::string LogText() const;
  // At most 15 significant digits, the locale's decimal separator, no
  // trailing zeros: the form of dates in the status document.
  std::string DocumentText() const;
  // Adds milliseconds, as the connection end time is computed.
  OleDate PlusMilliseconds(double ms) const;

  friend bool operator==(const OleDate&, const OleDate&) = default;
};

}  // namespace qvfax
