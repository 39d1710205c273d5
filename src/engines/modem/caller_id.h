// Caller ID as modems report it between the first and the second RING: one
// "TAG = VALUE" line each for the date, the time, the number and the name
// (some modems leave out the spaces; a few say CALLER NUMBER or CALLER NAME).
// A number the network withholds comes as "P" (private) or "O" (out of area).
#pragma once

#include <string>

namespace qvfax::modem {

struct CallerId {
  std::string number;    // digits as the network gave them; empty when withheld or unknown
  std::string name;
  std::string date;      // MMDD, as sent
  std::string time;      // HHMM, as sent
  std::string withheld;  // "private" or "out of area" when the number was not given
  bool Heard() const { return !number.empty() || !name.empty() || !withheld.empty(); }
};

// Takes the line into `id` when it is a caller ID line; false for any other.
bool ReadCallerIdLine(const std::string& line, CallerId& id);

}  // namespace qvfax::modem
