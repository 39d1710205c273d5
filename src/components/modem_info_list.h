// The stand-ins of the modem-information classes: plain values exported as XML.
#pragma once

#include "components/modem_info.h"

namespace qvfax {

class ModemInfo : public RInfoFaxModem {
 public:
  std::string Porta() const override { return porta_; }
  void Porta(const std::string& port) override { porta_ = port; }
  std::string DescrizioneModem() const override { return descrizione_; }
  void DescrizioneModem(const std::string& text) override { descrizione_ = text; }
  std::string IdentificativoModem() const override { return identificativo_; }
  void IdentificativoModem(const std::string& text) override { identificativo_ = text; }
  int32_t ClassiFax() const override { return classi_; }
  void ClassiFax(int32_t classes) override { classi_ = classes; }
  std::string XmlText() const override;

 private:
  std::string porta_;
  std::string descrizione_;
  std::string identificativo_;
  int32_t classi_ = 0;
};

class ModemInfoList : public InfoFaxModems {
 public:
  void Clear() override { items_.clear(); }
  void Add(std::shared_ptr<RInfoFaxModem> modem) override { items_.push_back(std::move(modem)); }
  std::shared_ptr<RInfoFaxModem> Item(int32_t index) const override;
  int32_t Count() const override { return static_cast<int32_t>(items_.size()); }
  std::vector<std::shared_ptr<RInfoFaxModem>> Items() const override { return items_; }
  std::string XmlText() const override;

 private:
  std::vector<std::shared_ptr<RInfoFaxModem>> items_;
};

}  // namespace qvfax
