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
  b.Call("Descrizione", [](T& t, const json&) -> Value { return t.Descrizione(); })
      .Get("Codice", [](T& t, const json&) -> Value { return t.Codice(); });
  if constexpr (std::is_base_of_v<SettableCodedValue, T>) {
    if (settable) b.Let("Codice", [](T& t, const json& a) { t.Codice(Long(a, 0)); });
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
      .Call("DescrizioneWidth", [](P& p, const json&) -> Value { return p.DescrizioneWidth(); })
      .Get("CodiceWidth", [](P& p, const json&) -> Value { return p.CodiceWidth(); })
      .Let("CodiceWidth", [](P& p, const json& a) { p.CodiceWidth(Long(a, 0)); })
      .Call("DescrizioneLength", [](P& p, const json&) -> Value { return p.DescrizioneLength(); })
      .Get("CodiceLength", [](P& p, const json&) -> Value { return p.CodiceLength(); })
      .Let("CodiceLength", [](P& p, const json& a) { p.CodiceLength(Long(a, 0)); });

  using C = QvBkgFaxVmColore;
  Builder<C>("QvBkgFaxVmColore")
      .Get("CodiceGestione", [](C& c, const json&) -> Value { return c.CodiceGestione(); })
      .Let("CodiceGestione", [](C& c, const json& a) { c.CodiceGestione(Long(a, 0)); })
      .Call("DescrizioneGestione", [](C& c, const json&) -> Value { return c.DescrizioneGestione(); })
      .Get("CodiceTipo", [](C& c, const json&) -> Value { return c.CodiceTipo(); })
      .Let("CodiceTipo", [](C& c, const json& a) { c.CodiceTipo(Long(a, 0)); })
      .Call("DescrizioneTipo", [](C& c, const json&) -> Value { return c.DescrizioneTipo(); });

  using K = QvBkgFaxVmSpeaker;
  Builder<K>("QvBkgFaxVmSpeaker")
      .Call("DescrizioneSpeakerModo", [](K& k, const json&) -> Value { return k.DescrizioneSpeakerModo(); })
      .Get("CodiceSpeakerModo", [](K& k, const json&) -> Value { return k.CodiceSpeakerModo(); })
      .Let("CodiceSpeakerModo", [](K& k, const json& a) { k.CodiceSpeakerModo(Long(a, 0)); })
      .Call("DescrizioneSpeakerVolume", [](K& k, const json&) -> Value { return k.DescrizioneSpeakerVolume(); })
      .Get("CodiceSpeakerVolume", [](K& k, const json&) -> Value { return k.CodiceSpeakerVolume(); })
      .Let("CodiceSpeakerVolume", [](K& k, const json& a) { k.CodiceSpeakerVolume(Long(a, 0)); });

  using H = QvBkgFaxVmIntestazione;
  Builder<H>("QvBkgFaxVmIntestazione")
      .Get("Attivata", [](H& h, const json&) -> Value { return h.Attivata(); })
      .Let("Attivata", [](H& h, const json& a) { h.Attivata(Boolean(a, 0)); })
      .Get("Altezza", [](H& h, const json&) -> Value { return h.Altezza(); })
      .Let("Altezza", [](H& h, const json& a) { h.Altezza(Long(a, 0)); })
      .Get("NomeCarattere", [](H& h, const json&) -> Value { return h.NomeCarattere(); })
      .Let("NomeCarattere", [](H& h, const json& a) { h.NomeCarattere(String(a, 0)); })
      .Get("DimensioneCarattere", [](H& h, const json&) -> Value { return h.DimensioneCarattere(); })
      .Let("DimensioneCarattere", [](H& h, const json& a) { h.DimensioneCarattere(Long(a, 0)); })
      .Get("Sinistra", [](H& h, const json&) -> Value { return h.Sinistra(); })
      .Let("Sinistra", [](H& h, const json& a) { h.Sinistra(String(a, 0)); })
      .Get("Centrale", [](H& h, const json&) -> Value { return h.Centrale(); })
      .Let("Centrale", [](H& h, const json& a) { h.Centrale(String(a, 0)); })
      .Get("Destra", [](H& h, const json&) -> Value { return h.Destra(); })
      .Let("Destra", [](H& h, const json& a) { h.Destra(String(a, 0)); });

  using PO = QvBkgFaxVmPorta;
  Builder<PO>("QvBkgFaxVmPorta")
      .Get("CompressioneMin", [](PO& p, const json&) -> Value { return Wrap("QvBkgFaxVmCompressione", p.CompressioneMin()); })
      .Get("CompressioneMax", [](PO& p, const json&) -> Value { return Wrap("QvBkgFaxVmCompressione", p.CompressioneMax()); })
      .Get("BaudSendMin", [](PO& p, const json&) -> Value { return Wrap("QvBkgFaxVmBaudRate", p.BaudSendMin()); })
      .Get("BaudSendMax", [](PO& p, const json&) -> Value { return Wrap("QvBkgFaxVmBaudRate", p.BaudSendMax()); })
      .Get("ECM", [](PO& p, const json&) -> Value { return Wrap("QvBkgFaxVmECM", p.ECM()); })
      .Get("BFT", [](PO& p, const json&) -> Value { return Wrap("QvBkgFaxVmBFT", p.BFT()); })
      .Get("PaginaMin", [](PO& p, const json&) -> Value { return Wrap("QvBkgFaxVmPagina", p.PaginaMin()); })
      .Get("PaginaMax", [](PO& p, const json&) -> Value { return Wrap("QvBkgFaxVmPagina", p.PaginaMax()); })
      .Get("RisoluzioneMin", [](PO& p, const json&) -> Value { return Wrap("QvBkgFaxVmRisoluzione", p.RisoluzioneMin()); })
      .Get("RisoluzioneMax", [](PO& p, const json&) -> Value { return Wrap("QvBkgFaxVmRisoluzione", p.RisoluzioneMax()); })
      .Get("Colore", [](PO& p, const json&) -> Value { return Wrap("QvBkgFaxVmColore", p.Colore()); });

  using T = QvBkgFaxVmTrasmissione;
  Builder<T>("QvBkgFaxVmTrasmissione")
      .Get("TipoFax", [](T& t, const json&) -> Value { return Wrap("QvBkgFaxVmTipoFax", t.TipoFax()); })
      .Get("Compressione", [](T& t, const json&) -> Value { return Wrap("QvBkgFaxVmCompressione", t.Compressione()); })
      .Get("BaudSend", [](T& t, const json&) -> Value { return Wrap("QvBkgFaxVmBaudRate", t.BaudSend()); })
      .Get("ECM", [](T& t, const json&) -> Value { return Wrap("QvBkgFaxVmECM", t.ECM()); })
      .Get("BFT", [](T& t, const json&) -> Value { return Wrap("QvBkgFaxVmBFT", t.BFT()); })
      .Get("Pagina", [](T& t, const json&) -> Value { return Wrap("QvBkgFaxVmPagina", t.Pagina()); })
      .Get("Risoluzione", [](T& t, const json&) -> Value { return Wrap("QvBkgFaxVmRisoluzione", t.Risoluzione()); })
      .Get("Colore", [](T& t, const json&) -> Value { return Wrap("QvBkgFaxVmColore", t.Colore()); });

  using A = QvBkgFaxVmAvanzamento;
  Builder<A>("QvBkgFaxVmAvanzamento")
      .Get("Baud", [](A& a, const json&) -> Value { return a.Baud(); })
      .Get("PageNumber", [](A& a, const json&) -> Value { return a.PageNumber(); })
      .Get("PageReady", [](A& a, const json&) -> Value { return a.PageReady(); })
      .Get("Status", [](A& a, const json&) -> Value { return a.Status(); });

  using X = XArrayDB;
  Builder<X>("XArrayDB")
      .Call("UpperBound", [](X& x, const json& a) -> Value { return x.UpperBound(Long(a, 0)); })
      .Call("LowerBound", [](X& x, const json& a) -> Value { return x.LowerBound(Long(a, 0)); })
      .Call("Value", [](X& x, const json& a) -> Value { return VariantToJson(x.Value(Long(a, 0), Long(a, 1))); });

  using M = RInfoFaxModem;
  Builder<M>("RInfoFaxModem")
      .Get("Porta", [](M& m, const json&) -> Value { return m.Porta(); })
      .Get("DescrizioneModem", [](M& m, const json&) -> Value { return m.DescrizioneModem(); })
      .Get("IdentificativoModem", [](M& m, const json&) -> Value { return m.IdentificativoModem(); })
      .Get("ClassiFax", [](M& m, const json&) -> Value { return m.ClassiFax(); })
      .Call("XmlText", [](M& m, const json&) -> Value { return m.XmlText(); });

  using L = InfoFaxModems;
  Builder<L>("InfoFaxModems")
      .Get("Count", [](L& l, const json&) -> Value { return l.Count(); })
      .Call("Item", [](L& l, const json& a) -> Value { return Wrap("RInfoFaxModem", l.Item(Long(a, 0))); })
      .Call("XmlText", [](L& l, const json&) -> Value { return l.XmlText(); });
}

}  // namespace qvfax::rpc::detail
