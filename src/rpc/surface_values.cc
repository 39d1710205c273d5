// The published members of the value objects and of the components a client
// reaches through the server: the modem information and the log table.
#include "components/modem_info.h"
#include "components/xarraydb.h"
#include "rpc/surface_builder.h"
#include "values/avanzamento.h"
#include "values/coded_values.h"
#include "values/containers.h"
#include "values/intestazione.h"
#include "values/two_code_value.h"

namespace qvfax::rpc::detail {

namespace {

template <typename T>
void Coded(const char* name, bool settable) {
  Builder<T> b(name);
  b.Call("Descrizione", [](T& t, const json&) { return t.Descrizione(); })
      .Get("Codice", [](T& t, const json&) { return t.Codice(); });
  if constexpr (std::is_base_of_v<SettableCodedValue, T>) {
    if (settable) b.Let("Codice", "Long", [](T& t, const json& a) { t.Codice(Long(a, 0)); });
  }
}

json VariantToJson(const Variant& v) {
  return std::visit(
      [](const auto& x) -> json {
        using X = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<X, std::monostate>) {
          return nullptr;
        } else if constexpr (std::is_same_v<X, OleDate>) {
          return x.days;
        } else {
          return x;
        }
      },
      v);
}

}  // namespace

void RegisterValueSurface() {
  Coded<QvBkgFaxVmAttivita>("QvBkgFaxVmAttivita", false);
  Coded<QvBkgFaxVmErrore>("QvBkgFaxVmErrore", false);
  Coded<QvBkgFaxVmTRMStatus>("QvBkgFaxVmTRMStatus", false);
  Coded<QvBkgFaxVmPortStatus>("QvBkgFaxVmPortStatus", false);
  Coded<QvBkgFaxVmDispositivo>("QvBkgFaxVmDispositivo", true);
  Coded<QvBkgFaxVmToneDial>("QvBkgFaxVmToneDial", true);
  Coded<QvBkgFaxVmECM>("QvBkgFaxVmECM", true);
  Coded<QvBkgFaxVmBaudRate>("QvBkgFaxVmBaudRate", true);
  Coded<QvBkgFaxVmCompressione>("QvBkgFaxVmCompressione", true);
  Coded<QvBkgFaxVmBFT>("QvBkgFaxVmBFT", true);
  Coded<QvBkgFaxVmRisoluzione>("QvBkgFaxVmRisoluzione", true);
  Coded<QvBkgFaxVmTipoFax>("QvBkgFaxVmTipoFax", true);

  using P = QvBkgFaxVmPagina;
  Builder<P>("QvBkgFaxVmPagina")
      .Call("DescrizioneWidth", [](P& p, const json&) { return p.DescrizioneWidth(); })
      .Get("CodiceWidth", [](P& p, const json&) { return p.CodiceWidth(); })
      .Let("CodiceWidth", "Long", [](P& p, const json& a) { p.CodiceWidth(Long(a, 0)); })
      .Call("DescrizioneLength", [](P& p, const json&) { return p.DescrizioneLength(); })
      .Get("CodiceLength", [](P& p, const json&) { return p.CodiceLength(); })
      .Let("CodiceLength", "Long", [](P& p, const json& a) { p.CodiceLength(Long(a, 0)); });

  using C = QvBkgFaxVmColore;
  Builder<C>("QvBkgFaxVmColore")
      .Get("CodiceGestione", [](C& c, const json&) { return c.CodiceGestione(); })
      .Let("CodiceGestione", "Long", [](C& c, const json& a) { c.CodiceGestione(Long(a, 0)); })
      .Call("DescrizioneGestione", [](C& c, const json&) { return c.DescrizioneGestione(); })
      .Get("CodiceTipo", [](C& c, const json&) { return c.CodiceTipo(); })
      .Let("CodiceTipo", "Long", [](C& c, const json& a) { c.CodiceTipo(Long(a, 0)); })
      .Call("DescrizioneTipo", [](C& c, const json&) { return c.DescrizioneTipo(); });

  using K = QvBkgFaxVmSpeaker;
  Builder<K>("QvBkgFaxVmSpeaker")
      .Call("DescrizioneSpeakerModo", [](K& k, const json&) { return k.DescrizioneSpeakerModo(); })
      .Get("CodiceSpeakerModo", [](K& k, const json&) { return k.CodiceSpeakerModo(); })
      .Let("CodiceSpeakerModo", "Long", [](K& k, const json& a) { k.CodiceSpeakerModo(Long(a, 0)); })
      .Call("DescrizioneSpeakerVolume", [](K& k, const json&) { return k.DescrizioneSpeakerVolume(); })
      .Get("CodiceSpeakerVolume", [](K& k, const json&) { return k.CodiceSpeakerVolume(); })
      .Let("CodiceSpeakerVolume", "Long", [](K& k, const json& a) { k.CodiceSpeakerVolume(Long(a, 0)); });

  using H = QvBkgFaxVmIntestazione;
  Builder<H>("QvBkgFaxVmIntestazione")
      .Get("Attivata", [](H& h, const json&) { return h.Attivata(); })
      .Let("Attivata", "Boolean", [](H& h, const json& a) { h.Attivata(Boolean(a, 0)); })
      .Get("Altezza", [](H& h, const json&) { return h.Altezza(); })
      .Let("Altezza", "Long", [](H& h, const json& a) { h.Altezza(Long(a, 0)); })
      .Get("NomeCarattere", [](H& h, const json&) { return h.NomeCarattere(); })
      .Let("NomeCarattere", "String", [](H& h, const json& a) { h.NomeCarattere(String(a, 0)); })
      .Get("DimensioneCarattere", [](H& h, const json&) { return h.DimensioneCarattere(); })
      .Let("DimensioneCarattere", "Long", [](H& h, const json& a) { h.DimensioneCarattere(Long(a, 0)); })
      .Get("Sinistra", [](H& h, const json&) { return h.Sinistra(); })
      .Let("Sinistra", "String", [](H& h, const json& a) { h.Sinistra(String(a, 0)); })
      .Get("Centrale", [](H& h, const json&) { return h.Centrale(); })
      .Let("Centrale", "String", [](H& h, const json& a) { h.Centrale(String(a, 0)); })
      .Get("Destra", [](H& h, const json&) { return h.Destra(); })
      .Let("Destra", "String", [](H& h, const json& a) { h.Destra(String(a, 0)); });

  using PO = QvBkgFaxVmPorta;
  Builder<PO>("QvBkgFaxVmPorta")
      .GetObject("CompressioneMin", "QvBkgFaxVmCompressione", [](PO& p, const json&) { return p.CompressioneMin(); })
      .GetObject("CompressioneMax", "QvBkgFaxVmCompressione", [](PO& p, const json&) { return p.CompressioneMax(); })
      .GetObject("BaudSendMin", "QvBkgFaxVmBaudRate", [](PO& p, const json&) { return p.BaudSendMin(); })
      .GetObject("BaudSendMax", "QvBkgFaxVmBaudRate", [](PO& p, const json&) { return p.BaudSendMax(); })
      .GetObject("ECM", "QvBkgFaxVmECM", [](PO& p, const json&) { return p.ECM(); })
      .GetObject("BFT", "QvBkgFaxVmBFT", [](PO& p, const json&) { return p.BFT(); })
      .GetObject("PaginaMin", "QvBkgFaxVmPagina", [](PO& p, const json&) { return p.PaginaMin(); })
      .GetObject("PaginaMax", "QvBkgFaxVmPagina", [](PO& p, const json&) { return p.PaginaMax(); })
      .GetObject("RisoluzioneMin", "QvBkgFaxVmRisoluzione", [](PO& p, const json&) { return p.RisoluzioneMin(); })
      .GetObject("RisoluzioneMax", "QvBkgFaxVmRisoluzione", [](PO& p, const json&) { return p.RisoluzioneMax(); })
      .GetObject("Colore", "QvBkgFaxVmColore", [](PO& p, const json&) { return p.Colore(); });

  using T = QvBkgFaxVmTrasmissione;
  Builder<T>("QvBkgFaxVmTrasmissione")
      .GetObject("TipoFax", "QvBkgFaxVmTipoFax", [](T& t, const json&) { return t.TipoFax(); })
      .GetObject("Compressione", "QvBkgFaxVmCompressione", [](T& t, const json&) { return t.Compressione(); })
      .GetObject("BaudSend", "QvBkgFaxVmBaudRate", [](T& t, const json&) { return t.BaudSend(); })
      .GetObject("ECM", "QvBkgFaxVmECM", [](T& t, const json&) { return t.ECM(); })
      .GetObject("BFT", "QvBkgFaxVmBFT", [](T& t, const json&) { return t.BFT(); })
      .GetObject("Pagina", "QvBkgFaxVmPagina", [](T& t, const json&) { return t.Pagina(); })
      .GetObject("Risoluzione", "QvBkgFaxVmRisoluzione", [](T& t, const json&) { return t.Risoluzione(); })
      .GetObject("Colore", "QvBkgFaxVmColore", [](T& t, const json&) { return t.Colore(); });

  using A = QvBkgFaxVmAvanzamento;
  Builder<A>("QvBkgFaxVmAvanzamento")
      .Get("Baud", [](A& a, const json&) { return a.Baud(); })
      .Get("PageNumber", [](A& a, const json&) { return a.PageNumber(); })
      .Get("PageReady", [](A& a, const json&) { return a.PageReady(); })
      .Get("Status", [](A& a, const json&) { return a.Status(); });

  using X = XArrayDB;
  Builder<X>("XArrayDB")
      .Call("UpperBound", "[dimension: Long]", [](X& x, const json& a) { return x.UpperBound(Long(a, 0)); })
      .Call("LowerBound", "[dimension: Long]", [](X& x, const json& a) { return x.LowerBound(Long(a, 0)); })
      .Call("Value", "[row: Long, column: Long]", [](X& x, const json& a) { return VariantToJson(x.Value(Long(a, 0), Long(a, 1))); });

  using M = RInfoFaxModem;
  Builder<M>("RInfoFaxModem")
      .Get("Porta", [](M& m, const json&) { return m.Porta(); })
      .Get("DescrizioneModem", [](M& m, const json&) { return m.DescrizioneModem(); })
      .Get("IdentificativoModem", [](M& m, const json&) { return m.IdentificativoModem(); })
      .Get("ClassiFax", [](M& m, const json&) { return m.ClassiFax(); })
      .Call("XmlText", [](M& m, const json&) { return m.XmlText(); });

  using L = InfoFaxModems;
  Builder<L>("InfoFaxModems")
      .Get("Count", [](L& l, const json&) { return l.Count(); })
      .CallObject("Item", "[index: Long]", "RInfoFaxModem", [](L& l, const json& a) { return l.Item(Long(a, 0)); })
      .Call("XmlText", [](L& l, const json&) { return l.XmlText(); });
}

}  // namespace qvfax::rpc::detail
