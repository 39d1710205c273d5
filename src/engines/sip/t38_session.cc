#include "engines/sip/t38_session.h"

#include <spandsp.h>

namespace qvfax::sip {

struct T38Session::Impl {
  T38Setup setup;
  Send send;
  UdptlSender framer;
  UdptlReceiver deframer;
  t38_terminal_state_t* terminal = nullptr;
  bool finished = false;
  int completion = T30_ERR_OK;

  Impl(const T38Setup& s, Send out)
      : setup(s),
        send(std::move(out)),
        framer(s.params.error_correction == ErrorCorrection::kRedundancy ? s.copies : 0,
               static_cast<size_t>(s.params.max_datagram)) {}

  t30_state_t* t30() const { return t38_terminal_get_t30_state(terminal); }

  // T.38 asks for some packets (indicators) more than once: each goes as a datagram of its own.
  static int Transmit(t38_core_state_t*, void* user, const uint8_t* buf, int len, int count) {
    auto* self = static_cast<Impl*>(user);
    const Bytes ifp(reinterpret_cast<const char*>(buf), static_cast<size_t>(len));
    for (int i = 0; i < count; ++i) self->send(self->framer.Frame(ifp));
    return 0;
  }

  static void PhaseE(t30_state_t*, void* user, int code) {
    auto* self = static_cast<Impl*>(user);
    self->finished = true;
    self->completion = code;
  }
};

T38Session::T38Session(const T38Setup& setup, Send send) : impl_(std::make_unique<Impl>(setup, std::move(send))) {
  auto& m = *impl_;
  m.terminal = t38_terminal_init(nullptr, setup.calling ? 1 : 0, &Impl::Transmit, &m);
  t38_core_state_t* core = t38_terminal_get_t38_core_state(m.terminal);
  t38_set_t38_version(core, setup.params.version);
  t38_set_fastest_image_data_rate(core, setup.params.max_bit_rate);
  t38_set_data_rate_management_method(core, setup.params.transferred_tcf ? T38_DATA_RATE_MANAGEMENT_TRANSFERRED_TCF
                                                                      : T38_DATA_RATE_MANAGEMENT_LOCAL_TCF);
  t38_set_max_datagram_size(core, setup.params.max_datagram);
  // Packets go at the pace of the modulation they stand for, as a gateway
  // to a telephone line needs them.
  t38_terminal_set_config(m.terminal, 0);
  core::ConfigureT30(m.t30(), setup.terminal);
  if (setup.calling) {
    t30_set_tx_file(m.t30(), setup.document.c_str(), -1, -1);
  } else {
    t30_set_rx_file(m.t30(), setup.received.c_str(), -1);
  }
  t30_set_phase_e_handler(m.t30(), &Impl::PhaseE, &m);
}

T38Session::~T38Session() {
  if (impl_->terminal) t38_terminal_free(impl_->terminal);
}

void T38Session::Receive(const uint8_t* data, size_t length) {
  auto& m = *impl_;
  if (m.finished) return;
  t38_core_state_t* core = t38_terminal_get_t38_core_state(m.terminal);
  for (const auto& ifp : m.deframer.Take(data, length)) {
    t38_core_rx_ifp_packet(core, reinterpret_cast<const uint8_t*>(ifp.packet.data()),
                           static_cast<int>(ifp.packet.size()), ifp.seq);
  }
}

void T38Session::Advance(int ms) {
  auto& m = *impl_;
  if (m.finished) return;
  t38_terminal_send_timeout(m.terminal, ms * 8);  // SpanDSP counts time in 8 kHz samples
}

void T38Session::HangUp() {
  auto& m = *impl_;
  if (m.finished) return;
  t30_terminate(m.t30());
  m.finished = true;
  if (m.completion == T30_ERR_OK) m.completion = T30_ERR_CALLDROPPED;
}

bool T38Session::Finished() const { return impl_->finished; }
int T38Session::Completion() const { return impl_->completion; }

int T38Session::Pages() const {
  t30_stats_t stats;
  t30_get_transfer_statistics(impl_->t30(), &stats);
  return impl_->setup.calling ? stats.pages_tx : stats.pages_rx;
}

const UdptlReceiver& T38Session::Datagrams() const { return impl_->deframer; }

}  // namespace qvfax::sip
