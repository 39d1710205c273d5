// The twelve coded value classes: four states the server reports, the device
// class and dial mode the client chooses, and six transmission parameters.
#pragma once

#include <memory>

#include "values/coded_value.h"
#include "values/enums.h"

namespace qvfax {

class BkgFaxVmEventi;

// The current activity. Every change is also told to the client's events sink.
class QvBkgFaxVmAttivita : public CodedValue {
 public:
  QvBkgFaxVmAttivita() : CodedValue({"Attivita", 100, false}, qbfaxvma_Idle) {}

  // Stores, rewrites the element and publishes, then notifies the sink; with
  // no sink set the notification raises 91 after the rest is done.
  void ImpostaCodice(int32_t code);
  void ImpostaBkgFaxVmEventi(std::shared_ptr<BkgFaxVmEventi> sink) { sink_ = std::move(sink); }

 private:
  std::shared_ptr<BkgFaxVmEventi> sink_;
};

class QvBkgFaxVmErrore : public StateCodedValue {
 public:
  QvBkgFaxVmErrore() : StateCodedValue({"Errore", 10000, true}, qbfaxvmec_NoErrors) {}
};

class QvBkgFaxVmTRMStatus : public StateCodedValue {
 public:
  QvBkgFaxVmTRMStatus() : StateCodedValue({"TRMStatus", 1600, false}, qbfaxvmstrms_NORMAL) {}
};

class QvBkgFaxVmPortStatus : public StateCodedValue {
 public:
  QvBkgFaxVmPortStatus() : StateCodedValue({"PortStatus", 201, false}, qbfaxvmps_PortClosed) {}
};

class QvBkgFaxVmDispositivo : public SettableCodedValue {
 public:
  QvBkgFaxVmDispositivo() : SettableCodedValue({"Dispositivo", 500, false}, qbfaxvmd_CLASS1_SFC) {}
};

// -1 tone, 0 pulse: the values of a true and a false Boolean.
class QvBkgFaxVmToneDial : public SettableCodedValue {
 public:
  QvBkgFaxVmToneDial() : SettableCodedValue({"ToneDial", 901, false}, qbfaxvmtd_Tone) {}
};

class QvBkgFaxVmECM : public ParameterCodedValue {
 public:
  QvBkgFaxVmECM() : ParameterCodedValue({nullptr, 1400, false}, qbfaxvmbecm_Enable) {}
};

class QvBkgFaxVmBaudRate : public ParameterCodedValue {
 public:
  QvBkgFaxVmBaudRate() : ParameterCodedValue({nullptr, 2000, false}, qbfaxvmbr_NoChange) {}
};

class QvBkgFaxVmCompressione : public ParameterCodedValue {
 public:
  QvBkgFaxVmCompressione() : ParameterCodedValue({nullptr, 1500, false}, qbfaxvmc_NOCHANGE) {}
};

class QvBkgFaxVmBFT : public ParameterCodedValue {
 public:
  QvBkgFaxVmBFT() : ParameterCodedValue({nullptr, 400, false}, qbfaxvmbft_Disable) {}
};

class QvBkgFaxVmRisoluzione : public ParameterCodedValue {
 public:
  QvBkgFaxVmRisoluzione() : ParameterCodedValue({nullptr, 300, false}, qbfaxvmr_NoChange) {}
};

class QvBkgFaxVmTipoFax : public ParameterCodedValue {
 public:
  QvBkgFaxVmTipoFax() : ParameterCodedValue({nullptr, 600, false}, qbfaxvmtf_NORMAL) {}
};

}  // namespace qvfax
