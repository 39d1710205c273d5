#include "queue/received_fax.h"

namespace qvfax::queue {

nlohmann::json ToJson(const ReceivedFax& fax) {
  return {{"id", fax.id},
          {"received_ms", fax.received_ms},
          {"port", fax.port},
          {"caller_number", fax.caller_number},
          {"caller_name", fax.caller_name},
          {"remote_id", fax.remote_id},
          {"pages", fax.pages},
          {"y_dpi", fax.y_dpi},
          {"bit_rate", fax.bit_rate},
          {"ecm", fax.ecm},
          {"duration_ms", fax.duration_ms},
          {"complete", fax.complete},
          {"reason", fax.reason},
          {"file", fax.file}};
}

ReceivedFax ReceivedFromJson(const nlohmann::json& record) {
  ReceivedFax fax;
  if (!record.is_object()) return fax;
  fax.id = record.value("id", int64_t{0});
  fax.received_ms = record.value("received_ms", int64_t{0});
  fax.port = record.value("port", "");
  fax.caller_number = record.value("caller_number", "");
  fax.caller_name = record.value("caller_name", "");
  fax.remote_id = record.value("remote_id", "");
  fax.pages = record.value("pages", 0);
  fax.y_dpi = record.value("y_dpi", 0);
  fax.bit_rate = record.value("bit_rate", 0);
  fax.ecm = record.value("ecm", false);
  fax.duration_ms = record.value("duration_ms", int64_t{0});
  fax.complete = record.value("complete", false);
  fax.reason = record.value("reason", "");
  fax.file = record.value("file", "");
  return fax;
}

}  // namespace qvfax::queue
