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

void RegisterServerSurface() {
  using S = QvVavUvaRazUr;
  Builder<S>(kServerClass)
      .Get("ProcessId", [](S& s, const json&) { return s.ProcessId(); })
      .Call("SelezionaFaxModem", "[port: String, optional]",
            [](S& s, const json& a) { s.SelezionaFaxModem(a.is_array() && !a.empty() ? String(a, 0) : std::string()); })
      .GetObject("Porta", "QvBkgFaxVmPorta", [](S& s, const json&) { return s.Porta(); })
      .GetObject("Trasmissione", "QvBkgFaxVmTrasmissione", [](S& s, const json&) { return s.Trasmissione(); })
      .GetObject("Speaker", "QvBkgFaxVmSpeaker", [](S& s, const json&) { return s.Speaker(); })
      .GetObject("Dispositivo", "QvBkgFaxVmDispositivo", [](S& s, const json&) { return s.Dispositivo(); })
      .GetObject("ToneDial", "QvBkgFaxVmToneDial", [](S& s, const json&) { return s.ToneDial(); })
      .GetObject("Intestazione", "QvBkgFaxVmIntestazione", [](S& s, const json&) { return s.Intestazione(); })
      .GetObject("XArrayDBLog", "XArrayDB", [](S& s, const json&) { return s.XArrayDBLog(); })
      .GetObject("InfoModems", "InfoFaxModems", [](S& s, const json&) { return s.InfoModems(); })
      .GetObject("InfoFaxModem", "RInfoFaxModem", [](S& s, const json&) { return s.InfoFaxModem(); })
      .Call("Invia", [](S& s, const json&) { s.Invia(); })
      .Get("IdLocale", [](S& s, const json&) { return s.IdLocale(); })
      .Let("IdLocale", "String", [](S& s, const json& a) { s.IdLocale(String(a, 0)); })
      .GetObject("Attivita", "QvBkgFaxVmAttivita", [](S& s, const json&) { return s.Attivita(); })
      .GetObject("PortStatus", "QvBkgFaxVmPortStatus", [](S& s, const json&) { return s.PortStatus(); })
      .GetObject("TRMStatus", "QvBkgFaxVmTRMStatus", [](S& s, const json&) { return s.TRMStatus(); })
      .GetObject("Errore", "QvBkgFaxVmErrore", [](S& s, const json&) { return s.Errore(); })
      .GetObject("Avanzamento", "QvBkgFaxVmAvanzamento", [](S& s, const json&) { return s.Avanzamento(); })
      .Get("PagineDaTrasmettere", [](S& s, const json&) { return s.PagineDaTrasmettere(); })
      .Get("PagineTrasmesse", [](S& s, const json&) { return s.PagineTrasmesse(); })
      .Get("OraDiInizioConnessione", [](S& s, const json&) { return s.OraDiInizioConnessione().days; })
      .Get("OraDiFineConnessione", [](S& s, const json&) { return s.OraDiFineConnessione().days; })
      .Get("IdRemoto", [](S& s, const json&) { return s.IdRemoto(); })
      .Get("Annulla", [](S& s, const json&) { return s.Annulla(); })
      .Get("Annullabile", [](S& s, const json&) { return s.Annullabile(); })
      .Call("AnnullaFax", [](S& s, const json&) { s.AnnullaFax(); })
      .Get("NumeroFax", [](S& s, const json&) { return s.NumeroFax(); })
      .Let("NumeroFax", "String", [](S& s, const json& a) { s.NumeroFax(String(a, 0)); })
      .Get("FilesTif", [](S& s, const json&) { return s.FilesTif(); })
      .Let("FilesTif", "String", [](S& s, const json& a) { s.FilesTif(String(a, 0)); })
      .Get("FaxID", [](S& s, const json&) { return s.FaxID(); })
      .Call("ApriPorta", [](S& s, const json&) { s.ApriPorta(); })
      .Call("ChiudiPorta", [](S& s, const json&) { s.ChiudiPorta(); })
      .Call("RilevaModem", [](S& s, const json&) { s.RilevaModem(); })
      .Get("PercorsoLog", [](S& s, const json&) { return s.PercorsoLog(); })
      .Let("PercorsoLog", "String", [](S& s, const json& a) { s.PercorsoLog(String(a, 0)); })
      .Get("PortaPredefinita", [](S& s, const json&) { return s.PortaPredefinita(); })
      .Let("PortaPredefinita", "String", [](S& s, const json& a) { s.PortaPredefinita(String(a, 0)); })
      .Get("TestDialTone", [](S& s, const json&) { return s.TestDialTone(); })
      .Let("TestDialTone", "Boolean", [](S& s, const json& a) { s.TestDialTone(Boolean(a, 0)); })
      .Call("Inizializza", [](S& s, const json&) { s.Inizializza(); })
      .Call("Termina", [](S& s, const json&) { s.Termina(); })
      .Call("Xml", [](S& s, const json&) { return s.Xml(); });
}

}  // namespace qvfax::rpc::detail
