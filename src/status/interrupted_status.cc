#include "status/interrupted_status.h"

#include <sstream>

#include <pugixml.hpp>

namespace qvfax {

std::optional<std::string> IdleStatusOf(const std::string& xml, const std::function<bool(int pid)>& alive) {
  pugi::xml_document doc;
  if (!doc.load_string(xml.c_str(), pugi::parse_default | pugi::parse_declaration)) return std::nullopt;
  auto root = doc.child("VavUvaRazUr");
  auto activity = root.child("Attivita");
  if (!activity || std::string(activity.child_value("Codice")) == "0") return std::nullopt;
  if (alive(root.child("ProcessId").text().as_int())) return std::nullopt;
  activity.child("Codice").text().set("0");
  activity.child("Descrizione").text().set("Nessuna");
  if (auto cancellable = root.child("Annullabile")) cancellable.text().set("0");
  std::ostringstream out;
  doc.save(out, "", pugi::format_raw);
  return out.str();
}

}  // namespace qvfax
