// The client's events sink. Each call is synchronous: the server goes on only
// after the sink returns, and an error the sink raises reaches the caller.
#pragma once

namespace qvfax {

class QvBkgFaxVmAttivita;

class BkgFaxVmEventi {
 public:
  virtual ~BkgFaxVmEventi() = default;

  // After every change of the activity code; read Codice and Descrizione from it.
  virtual void AttivitaCambiata(QvBkgFaxVmAttivita& attivita) = 0;
  virtual void InizioInvio() = 0;  // the send timer fired
  virtual void FineInvio() = 0;    // the transmission has been finished
};

}  // namespace qvfax
