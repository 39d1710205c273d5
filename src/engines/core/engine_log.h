// An engine's own log: what its ports and calls did, one time-stamped line
// each, in the server's log folder under the engine's file name
// ("qvfax-modem.log", "qvfax-sip.log"). A fax control keeps such a log beside
// the server's; it is where a refused lock, a silent modem, a call's AT or
// SIP trace is read.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/ole_date.h"

namespace qvfax::core {

class EngineLog {
 public:
  explicit EngineLog(std::string file_name) : file_name_(std::move(file_name)) {}
  // The folder the server gave (PercorsoLog); empty: the user's state folder.
  void Folder(const std::string& folder);
  void Line(const OleDate& when, const std::string& text);
  // Several lines at one time, written at once (a call's AT trace).
  void Lines(const OleDate& when, const std::vector<std::string>& texts);
  // The lines written since the engine started, newest last (at most 500).
  const std::vector<std::string>& Recent() const { return recent_; }
  std::string Path() const;

 private:
  std::string file_name_;
  std::string folder_;
  std::vector<std::string> recent_;
};

}  // namespace qvfax::core
