// How every engine sets up SpanDSP's T.30 for a call: the station id, the
// modulations, ECM and the codings it offers. Our own header is drawn into
// the pages we send, so T.30's is never used.
#pragma once

#include <string>

#include <spandsp.h>

namespace qvfax::core {

struct T30Terminal {
  std::string ident;  // the station id it sends (TSI or CSI)
  int modems = T30_SUPPORT_V27TER | T30_SUPPORT_V29 | T30_SUPPORT_V17;
  bool ecm = true;
  bool t4_2d = true;  // MR among the codings
  bool t6 = true;     // MMR among the codings (with ECM only)
};

inline void ConfigureT30(t30_state_t* t30, const T30Terminal& terminal) {
  t30_set_tx_ident(t30, terminal.ident.c_str());
  t30_set_tx_page_header_info(t30, nullptr);
  t30_set_supported_modems(t30, terminal.modems);
  t30_set_ecm_capability(t30, terminal.ecm ? 1 : 0);
  int codings = T30_SUPPORT_T4_1D_COMPRESSION;
  if (terminal.t4_2d) codings |= T30_SUPPORT_T4_2D_COMPRESSION;
  if (terminal.ecm && terminal.t6) codings |= T30_SUPPORT_T6_COMPRESSION;
  t30_set_supported_compressions(t30, codings);
}

}  // namespace qvfax::core
