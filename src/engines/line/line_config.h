// The software telephone network of the line engine: its lines (ports with a
// soft modem each) and its directory of virtual remote fax machines.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "engines/core/port_model.h"

namespace qvfax::line {

struct RemoteFax {
  enum class Answer { kFax, kBusy, kNoAnswer, kVoice };
  Answer answer = Answer::kFax;
  int rings = 2;                   // rings before it picks up
  std::string csi = "+39 06 5550100";
  bool ecm = true;
  bool t6 = true;
  bool v17 = true;                 // false: V.29 and V.27ter only
  double noise_dbm0 = 0;           // 0: a clean line
};

struct LineConfig {
  std::vector<core::Port> ports;                // soft modems, class "1,1.0"
  std::map<std::string, RemoteFax> directory;  // by number dialled
  RemoteFax any_number;                        // every other number
  std::string inbox;                           // where remotes store what they receive
  double speed = 0;                            // times real time; 0: as fast as the processor allows
};

// Two lines, "line0" and "line1", each with a soft modem and a dial tone; a
// directory that answers any number as a V.17 ECM fax machine; the inbox in
// the user's state folder.
LineConfig DefaultLineConfig();

// Throws core::ConfigError naming `source` and the field.
LineConfig ParseLineConfig(const std::string& json_text, const std::string& source);
LineConfig LoadLineConfig(const std::string& path);

}  // namespace qvfax::line
