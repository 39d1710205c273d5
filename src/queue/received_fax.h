// A fax that came in: the record kept beside the queue's jobs, pointing at
// the TIFF that holds its pages as they arrived.
#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

namespace qvfax::queue {

struct ReceivedFax {
  int64_t id = 0;              // given by the store
  int64_t received_ms = 0;     // when the call was answered, ms since the epoch
  std::string port;
  std::string caller_number;   // from caller ID; empty when not given
  std::string caller_name;
  std::string remote_id;       // the station id the sender gave (its TSI)
  int32_t pages = 0;           // pages received and confirmed
  int32_t y_dpi = 0;           // 98, 196 or 391
  int32_t bit_rate = 0;
  bool ecm = false;
  int64_t duration_ms = 0;
  bool complete = false;       // the sender ended the document normally
  std::string reason;          // why it is partial; empty when complete
  std::string file;            // the TIFF of the pages, as received
};

nlohmann::json ToJson(const ReceivedFax& fax);
ReceivedFax ReceivedFromJson(const nlohmann::json& record);

}  // namespace qvfax::queue
