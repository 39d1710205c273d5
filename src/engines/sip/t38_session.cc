#include "engines/sip/t38_session.h"

#include <algorithm>
#include <deque>

#include <spandsp.h>

namespace qvfax::sip {

struct T38Session::Impl {
  Send send;
  UdptlSender framer;
  UdptlReceiver deframer;
  t38_terminal_state_t* terminal = nullptr;
  FaxEnd fax;
  bool paced;
  std::deque<Bytes> waiting;  // unpaced: framed datagrams not yet let out
  double allowance = 0;       // unpaced: datagrams that may leave now

  Impl(const T38Setup& s, Send out)
      : send(std::move(out)),
        framer(s.params.error_correction == ErrorCorrection::kRedundancy ? s.copies : 0,
               static_cast<size_t>(s.params.max_datagram)),
        paced(s.paced) {}

  // T.38 asks for some packets (indicators) more than once: each goes as a datagram of its own.
  static int Transmit(t38_core_state_t*, void* user, const uint8_t* buf, int len, int count) {
    auto* self = static_cast<Impl*>(user);
    const Bytes ifp(reinterpret_cast<const char*>(buf), static_cast<size_t>(len));
    for (int i = 0; i < count; ++i) {
      Bytes datagram = self->framer.Frame(ifp);
      if (self->paced) {
        self->send(datagram);
      } else {
        self->waiting.push_back(std::move(datagram));
      }
    }
    return 0;
  }

  void LetOut(int ms) {
    allowance = std::min(allowance + ms * T38Session::kUnpacedDatagramsPerMs, 64.0);
    while (!waiting.empty() && allowance >= 1) {
      send(waiting.front());
      waiting.pop_front();
      allowance -= 1;
    }
    if (waiting.empty()) allowance = std::min(allowance, 1.0);
  }
};

T38Session::T38Session(const T38Setup& setup, Send send) : impl_(std::make_unique<Impl>(setup, std::move(send))) {
  auto& m = *impl_;
  m.terminal = t38_terminal_init(nullptr, setup.fax.calling ? 1 : 0, &Impl::Transmit, &m);
  t38_core_state_t* core = t38_terminal_get_t38_core_state(m.terminal);
  t38_set_t38_version(core, setup.params.version);
  t38_set_fastest_image_data_rate(core, setup.params.max_bit_rate);
  t38_set_data_rate_management_method(core, setup.params.transferred_tcf ? T38_DATA_RATE_MANAGEMENT_TRANSFERRED_TCF
                                                                      : T38_DATA_RATE_MANAGEMENT_LOCAL_TCF);
  t38_set_max_datagram_size(core, setup.params.max_datagram);
  t38_terminal_set_config(m.terminal, setup.paced ? 0 : T38_TERMINAL_OPTION_NO_PACING);
  m.fax.Attach(t38_terminal_get_t30_state(m.terminal), setup.fax);
}

T38Session::~T38Session() {
  if (impl_->terminal) t38_terminal_free(impl_->terminal);
}

void T38Session::Receive(const uint8_t* data, size_t length) {
  auto& m = *impl_;
  if (m.fax.Finished()) return;
  t38_core_state_t* core = t38_terminal_get_t38_core_state(m.terminal);
  for (const auto& ifp : m.deframer.Take(data, length)) {
    t38_core_rx_ifp_packet(core, reinterpret_cast<const uint8_t*>(ifp.packet.data()),
                           static_cast<int>(ifp.packet.size()), ifp.seq);
  }
}

void T38Session::Advance(int ms) {
  auto& m = *impl_;
  if (m.fax.Finished()) return;
  t38_terminal_send_timeout(m.terminal, ms * 8);  // SpanDSP counts time in 8 kHz samples
  if (!m.paced) m.LetOut(ms);
}

FaxEnd& T38Session::Fax() { return impl_->fax; }
const FaxEnd& T38Session::Fax() const { return impl_->fax; }

}  // namespace qvfax::sip
