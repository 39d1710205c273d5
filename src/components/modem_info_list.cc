#include "components/modem_info_list.h"

#include <pugixml.hpp>
#include <sstream>

#include "platform/automation_error.h"

namespace qvfax {

namespace {

void FillModem(pugi::xml_node node, const RInfoFaxModem& modem) {
  node.append_child("Porta").text().set(modem.Porta().c_str());
  node.append_child("DescrizioneModem").text().set(modem.DescrizioneModem().c_str());
  node.append_child("IdentificativoModem").text().set(modem.IdentificativoModem().c_str());
  node.append_child("ClassiFax").text().set(modem.ClassiFax());
}

std::string Serialise(const pugi::xml_document& doc) {
  std::ostringstream out;
  doc.save(out, "", pugi::format_raw);
  return out.str();
}

}  // namespace

std::string ModemInfo::XmlText() const {
  pugi::xml_document doc;
  FillModem(doc.append_child("InfoFaxModem"), *this);
  return Serialise(doc);
}

std::shared_ptr<RInfoFaxModem> ModemInfoList::Item(int32_t index) const {
  if (index < 0 || index >= Count()) {
    throw AutomationError(9, kInfoFaxModemsClass, "Subscript out of range");
  }
  return items_[static_cast<size_t>(index)];
}

std::string ModemInfoList::XmlText() const {
  pugi::xml_document doc;
  auto list = doc.append_child("InfoFaxModems");
  list.append_attribute("Count") = Count();
  for (const auto& modem : items_) FillModem(list.append_child("InfoFaxModem"), *modem);
  return Serialise(doc);
}

}  // namespace qvfax
