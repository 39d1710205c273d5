#include "engines/sip/fax_end.h"

namespace qvfax::sip {

void FaxEnd::Attach(t30_state_t* t30, const FaxEndSetup& setup) {
  t30_ = t30;
  calling_ = setup.calling;
  core::ConfigureT30(t30, setup.terminal);
  if (setup.calling) {
    t30_set_tx_file(t30, setup.document.c_str(), -1, -1);
  } else {
    t30_set_rx_file(t30, setup.received.c_str(), -1);
  }
  t30_set_phase_e_handler(t30, &FaxEnd::PhaseE, this);
  t30_set_phase_b_handler(t30, &FaxEnd::PhaseB, this);
}

int FaxEnd::PhaseB(t30_state_t*, void* user, int) {
  static_cast<FaxEnd*>(user)->connected_ = true;
  return T30_ERR_OK;
}

std::string FaxEnd::RemoteIdent() const {
  const char* ident = t30_ ? t30_get_rx_ident(t30_) : nullptr;
  return ident ? ident : "";
}

int FaxEnd::BitRate() const {
  if (!t30_) return 0;
  t30_stats_t stats;
  t30_get_transfer_statistics(t30_, &stats);
  return stats.bit_rate;
}

bool FaxEnd::Ecm() const {
  if (!t30_) return false;
  t30_stats_t stats;
  t30_get_transfer_statistics(t30_, &stats);
  return stats.error_correcting_mode != 0;
}

void FaxEnd::PhaseE(t30_state_t*, void* user, int code) {
  auto* self = static_cast<FaxEnd*>(user);
  self->finished_ = true;
  self->completion_ = code;
}

void FaxEnd::HangUp(int completion) {
  if (finished_ || !t30_) return;
  t30_terminate(t30_);  // its end of phase E says "call dropped": we know better why
  finished_ = true;
  completion_ = completion;
}

int FaxEnd::Pages() const {
  if (!t30_) return 0;
  t30_stats_t stats;
  t30_get_transfer_statistics(t30_, &stats);
  return calling_ ? stats.pages_tx : stats.pages_rx;
}

}  // namespace qvfax::sip
