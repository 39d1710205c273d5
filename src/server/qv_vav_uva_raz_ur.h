// The fax server object. A client hands it an events sink, detects and
// selects a modem, opens its port, sets the number, files and parameters, and
// sends. Every command returns at once: it records its activity and arms a
// one-shot timer, and the work runs on the apartment's thread when it fires.
// The object must be created, used and destroyed on its apartment's thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/ole_date.h"

namespace qvfax {

struct ApartmentContext;
class BkgFaxVmEventi;
class InfoFaxModems;
class RInfoFaxModem;
class XArrayDB;
class QvBkgFaxVmAttivita;
class QvBkgFaxVmAvanzamento;
class QvBkgFaxVmDispositivo;
class QvBkgFaxVmErrore;
class QvBkgFaxVmIntestazione;
class QvBkgFaxVmPorta;
class QvBkgFaxVmPortStatus;
class QvBkgFaxVmSpeaker;
class QvBkgFaxVmTRMStatus;
class QvBkgFaxVmToneDial;
class QvBkgFaxVmTrasmissione;
class StatusDocument;

class QvVavUvaRazUr {
 public:
  // Raises 429 when a component it needs is not registered in the apartment.
  QvVavUvaRazUr();
  ~QvVavUvaRazUr();
  QvVavUvaRazUr(const QvVavUvaRazUr&) = delete;
  QvVavUvaRazUr& operator=(const QvVavUvaRazUr&) = delete;

  // ---- The published interface, in its order.
  int32_t ProcessId() const;
  void SelezionaFaxModem(const std::string& porta_predefinita = "");
  std::shared_ptr<QvBkgFaxVmPorta> Porta() const;
  std::shared_ptr<QvBkgFaxVmTrasmissione> Trasmissione() const;
  std::shared_ptr<QvBkgFaxVmSpeaker> Speaker() const;
  std::shared_ptr<QvBkgFaxVmDispositivo> Dispositivo() const;
  std::shared_ptr<QvBkgFaxVmToneDial> ToneDial() const;
  std::shared_ptr<QvBkgFaxVmIntestazione> Intestazione() const;
  std::shared_ptr<XArrayDB> XArrayDBLog() const;
  std::shared_ptr<InfoFaxModems> InfoModems() const;
  std::shared_ptr<RInfoFaxModem> InfoFaxModem() const;  // nullptr until one is selected
  void Invia();
  void BkgFaxVmEventi(std::shared_ptr<qvfax::BkgFaxVmEventi> sink);
  std::string IdLocale() const;
  void IdLocale(const std::string& id);
  std::shared_ptr<QvBkgFaxVmAttivita> Attivita() const;
  std::shared_ptr<QvBkgFaxVmPortStatus> PortStatus() const;
  std::shared_ptr<QvBkgFaxVmTRMStatus> TRMStatus() const;
  std::shared_ptr<QvBkgFaxVmErrore> Errore() const;
  std::shared_ptr<QvBkgFaxVmAvanzamento> Avanzamento() const;
  int32_t PagineDaTrasmettere() const;
  int32_t PagineTrasmesse() const;
  OleDate OraDiInizioConnessione() const;
  OleDate OraDiFineConnessione() const;
  std::string IdRemoto() const;
  int32_t Annulla() const;
  bool Annullabile() const;
  void AnnullaFax();
  std::string NumeroFax() const;
  void NumeroFax(const std::string& number);
  std::string FilesTif() const;
  void FilesTif(const std::string& files);
  int32_t FaxID() const;
  void ApriPorta();
  void ChiudiPorta();
  void RilevaModem();
  std::string PercorsoLog() const;
  void PercorsoLog(const std::string& folder);
  std::string PortaPredefinita() const;
  void PortaPredefinita(const std::string& port);
  bool TestDialTone() const;
  void TestDialTone(bool test);
  void Inizializza();
  void Termina();
  std::string Xml() const;

  // ---- Internal operations: the server's own code uses them; clients cannot.
  void ScriviLog(const std::string& text);
  void AccodaTestoLog(const std::string& line);
  void AzzeraTestoLog();
  void ImpostaAnnulla(int32_t value);
  void ImpostaInfoFaxModem(std::shared_ptr<RInfoFaxModem> info);
  bool LeggiVisualizzaFaxManager();
  void ScriviVisualizzaFaxManager(bool show);
  const std::string& TestoLog() const;  // the accumulated log text
  // Whether a timer is still armed, so that more work will run.
  bool LavoroInCorso() const;

  // The timer handlers.
  void mobjTimerSend_TimerEvent();
  void mobjTimerEnd_TimerEvent();
  void mobjTimerAnnulla_TimerEvent();
  void mobjTimerOpenPort_TimerEvent();
  void mobjTimerClosePort_TimerEvent();
  void mobjTimerRilevaModem_TimerEvent();

  struct State;  // the members; defined where the handlers live

 private:
  friend class FaxEventsHandler;
  State& m() { return *m_; }
  void RefreshPortStatus(const std::string& port);
  void CostruisciDocumento();
  void ApriPortaSelezionata();
  void ScansionaPorte();
  void EseguiInvio();
  void SegnaAnnullabile(bool annullabile);
  void ProgressoAnnullamento();
  void CreaElementoRadice(StatusDocument& document);
  // The constructor's work after the per-thread objects are counted.
  void Construct(ApartmentContext& apartment);
  static void ReleaseApartmentObjects(ApartmentContext& apartment);

  std::unique_ptr<State> m_;
};

}  // namespace qvfax
