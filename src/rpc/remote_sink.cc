#include "rpc/remote_sink.h"

#include "values/coded_values.h"

namespace qvfax::rpc {

void RemoteSink::AttivitaCambiata(QvBkgFaxVmAttivita& attivita) {
  request_("AttivitaCambiata",
           {{"handle", server_handle_}, {"Codice", attivita.Codice()}, {"Descrizione", attivita.Descrizione()}});
}

void RemoteSink::InizioInvio() { request_("InizioInvio", {{"handle", server_handle_}}); }

void RemoteSink::FineInvio() { request_("FineInvio", {{"handle", server_handle_}}); }

}  // namespace qvfax::rpc
