// The published members of the server object.
#include "components/modem_info.h"
#include "components/xarraydb.h"
#include "rpc/surface_builder.h"
#include "server/qv_vav_uva_raz_ur.h"
#include "values/avanzamento.h"
#include "values/coded_values.h"
#include "values/containers.h"
#include "values/intestazione.h"
#include "values/two_code_value.h"

namespace qvfax::rpc::detail {

namespace {
json NoResult() { return json(); }
}  // namespace

void RegisterServerSurface() {
  using S = QvVavUvaRazUr;
  Builder<S>(kServerClass)
      .Get("ProcessId", [](S& s, const json&) -> Value { return s.ProcessId(); })
      .Call("SelezionaFaxModem",
            [](S& s, const json& a) -> Value {
              s.SelezionaFaxModem(a.is_array() && !a.empty() ? String(a, 0) : std::string());
              return NoResult();
            })
      .Get("Porta", [](S& s, const json&) -> Value { return Wrap("QvBkgFaxVmPorta", s.Porta()); })
      .Get("Trasmissione", [](S& s, const json&) -> Value { return Wrap("QvBkgFaxVmTrasmissione", s.Trasmissione()); })
      .Get("Speaker", [](S& s, const json&) -> Value { return Wrap("QvBkgFaxVmSpeaker", s.Speaker()); })
      .Get("Dispositivo", [](S& s, const json&) -> Value { return Wrap("QvBkgFaxVmDispositivo", s.Dispositivo()); })
      .Get("ToneDial", [](S& s, const json&) -> Value { return Wrap("QvBkgFaxVmToneDial", s.ToneDial()); })
      .Get("Intestazione", [](S& s, const json&) -> Value { return Wrap("QvBkgFaxVmIntestazione", s.Intestazione()); })
      .Get("XArrayDBLog", [](S& s, const json&) -> Value { return Wrap("XArrayDB", s.XArrayDBLog()); })
      .Get("InfoModems", [](S& s, const json&) -> Value { return Wrap("InfoFaxModems", s.InfoModems()); })
      .Get("InfoFaxModem",
           [](S& s, const json&) -> Value {
             auto modem = s.InfoFaxModem();
             if (!modem) return json();
             return Wrap("RInfoFaxModem", modem);
           })
      .Call("Invia", [](S& s, const json&) -> Value { s.Invia(); return NoResult(); })
      .Get("IdLocale", [](S& s, const json&) -> Value { return s.IdLocale(); })
      .Let("IdLocale", [](S& s, const json& a) { s.IdLocale(String(a, 0)); })
      .Get("Attivita", [](S& s, const json&) -> Value { return Wrap("QvBkgFaxVmAttivita", s.Attivita()); })
      .Get("PortStatus", [](S& s, const json&) -> Value { return Wrap("QvBkgFaxVmPortStatus", s.PortStatus()); })
      .Get("TRMStatus", [](S& s, const json&) -> Value { return Wrap("QvBkgFaxVmTRMStatus", s.TRMStatus()); })
      .Get("Errore", [](S& s, const json&) -> Value { return Wrap("QvBkgFaxVmErrore", s.Errore()); })
      .Get("Avanzamento", [](S& s, const json&) -> Value { return Wrap("QvBkgFaxVmAvanzamento", s.Avanzamento()); })
      .Get("PagineDaTrasmettere", [](S& s, const json&) -> Value { return s.PagineDaTrasmettere(); })
      .Get("PagineTrasmesse", [](S& s, const json&) -> Value { return s.PagineTrasmesse(); })
      .Get("OraDiInizioConnessione", [](S& s, const json&) -> Value { return s.OraDiInizioConnessione().days; })
      .Get("OraDiFineConnessione", [](S& s, const json&) -> Value { return s.OraDiFineConnessione().days; })
      .Get("IdRemoto", [](S& s, const json&) -> Value { return s.IdRemoto(); })
      .Get("Annulla", [](S& s, const json&) -> Value { return s.Annulla(); })
      .Get("Annullabile", [](S& s, const json&) -> Value { return s.Annullabile(); })
      .Call("AnnullaFax", [](S& s, const json&) -> Value { s.AnnullaFax(); return NoResult(); })
      .Get("NumeroFax", [](S& s, const json&) -> Value { return s.NumeroFax(); })
      .Let("NumeroFax", [](S& s, const json& a) { s.NumeroFax(String(a, 0)); })
      .Get("FilesTif", [](S& s, const json&) -> Value { return s.FilesTif(); })
      .Let("FilesTif", [](S& s, const json& a) { s.FilesTif(String(a, 0)); })
      .Get("FaxID", [](S& s, const json&) -> Value { return s.FaxID(); })
      .Call("ApriPorta", [](S& s, const json&) -> Value { s.ApriPorta(); return NoResult(); })
      .Call("ChiudiPorta", [](S& s, const json&) -> Value { s.ChiudiPorta(); return NoResult(); })
      .Call("RilevaModem", [](S& s, const json&) -> Value { s.RilevaModem(); return NoResult(); })
      .Get("PercorsoLog", [](S& s, const json&) -> Value { return s.PercorsoLog(); })
      .Let("PercorsoLog", [](S& s, const json& a) { s.PercorsoLog(String(a, 0)); })
      .Get("PortaPredefinita", [](S& s, const json&) -> Value { return s.PortaPredefinita(); })
      .Let("PortaPredefinita", [](S& s, const json& a) { s.PortaPredefinita(String(a, 0)); })
      .Get("TestDialTone", [](S& s, const json&) -> Value { return s.TestDialTone(); })
      .Let("TestDialTone", [](S& s, const json& a) { s.TestDialTone(Boolean(a, 0)); })
      .Call("Inizializza", [](S& s, const json&) -> Value { s.Inizializza(); return NoResult(); })
      .Call("Termina", [](S& s, const json&) -> Value { s.Termina(); return NoResult(); })
      .Call("Xml", [](S& s, const json&) -> Value { return s.Xml(); });
}

}  // namespace qvfax::rpc::detail
