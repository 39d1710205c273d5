// Modem information: one modem found on a port, and the list of them. Both
// export themselves as XML whose last top-level node is an element named
// "InfoFaxModem" or "InfoFaxModems".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qvfax {

// ClassiFax bits.
namespace fax_class {
inline constexpr int32_t kClass1 = 1;
inline constexpr int32_t kClass1_0 = 2;
inline constexpr int32_t kClass2 = 4;
inline constexpr int32_t kClass2_0 = 8;
}  // namespace fax_class

class RInfoFaxModem {
 public:
  virtual ~RInfoFaxModem() = default;

  virtual std::string Porta() const = 0;
  virtual void Porta(const std::string& port) = 0;
  virtual std::string DescrizioneModem() const = 0;   // "Sconosciuto" when the port gave no answer
  virtual void DescrizioneModem(const std::string& text) = 0;
  virtual std::string IdentificativoModem() const = 0;
  virtual void IdentificativoModem(const std::string& text) = 0;
  virtual int32_t ClassiFax() const = 0;
  virtual void ClassiFax(int32_t classes) = 0;
  virtual std::string XmlText() const = 0;
};

class InfoFaxModems {
 public:
  virtual ~InfoFaxModems() = default;

  virtual void Clear() = 0;
  virtual void Add(std::shared_ptr<RInfoFaxModem> modem) = 0;
  virtual std::shared_ptr<RInfoFaxModem> Item(int32_t index) const = 0;  // from 0
  virtual int32_t Count() const = 0;
  virtual std::vector<std::shared_ptr<RInfoFaxModem>> Items() const = 0;  // in order
  virtual std::string XmlText() const = 0;
};

// Class names under which the modem-information classes are registered.
inline constexpr const char* kRInfoFaxModemClass = "QvNrDllInfoFaxModem.RInfoFaxModem";
inline constexpr const char* kInfoFaxModemsClass = "QvNrDllInfoFaxModem.InfoFaxModems";

}  // namespace qvfax
