// The modem engine's own log: what the port and the modem did, one
// time-stamped line each, in the server's log folder as "qvfax-modem.log".
// A fax control keeps such a log beside the server's; it is where a refused
// lock, a silent modem or a call's AT trace is read.
#pragma once

#include <string>
#include <vector>

#include "platform/ole_date.h"

namespace qvfax::modem {

class ModemLog {
 public:
  // The folder the server gave (PercorsoLog); empty: the user's state folder.
  void Folder(const std::string& folder);
  void Line(const OleDate& when, const std::string& text);
  // Several lines at one time, written at once (a call's AT trace).
  void Lines(const OleDate& when, const std::vector<std::string>& texts);
  // The lines written since the engine started, newest last (at most 500).
  const std::vector<std::string>& Recent() const { return recent_; }
  std::string Path() const;

 private:
  std::string folder_;
  std::vector<std::string> recent_;
};

}  // namespace qvfax::modem
