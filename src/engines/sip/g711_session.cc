#include "engines/sip/g711_session.h"

#include <algorithm>
#include <cstring>

#include <spandsp.h>

namespace qvfax::sip {

namespace {

constexpr uint8_t kPcmu = 0;
constexpr uint8_t kPcma = 8;

}  // namespace

struct G711Session::Impl {
  G711Setup setup;
  Send send;
  fax_state_t* terminal = nullptr;
  JitterBuffer playout;
  FaxEnd fax;
  int leftover_ms = 0;
  RtpPacket out;

  Impl(const G711Setup& s, Send to)
      : setup(s), send(std::move(to)), playout(kFrameSamples, std::max(1, s.delay_ms / kFrameMs)) {
    out.payload_type = s.alaw ? kPcma : kPcmu;
    out.ssrc = s.ssrc;
    out.marker = true;  // the first packet of the talk spurt, which lasts the call
  }

  void Frame() {
    int16_t samples[kFrameSamples];
    const auto heard = playout.Next();
    if (heard && heard->size() == kFrameSamples) {
      for (int i = 0; i < kFrameSamples; ++i) {
        const auto code = static_cast<uint8_t>((*heard)[static_cast<size_t>(i)]);
        samples[i] = setup.alaw ? alaw_to_linear(code) : ulaw_to_linear(code);
      }
    } else {
      std::memset(samples, 0, sizeof samples);
    }
    fax_rx(terminal, samples, kFrameSamples);

    const int made = fax_tx(terminal, samples, kFrameSamples);
    if (made < kFrameSamples) std::memset(samples + made, 0, sizeof(int16_t) * static_cast<size_t>(kFrameSamples - made));
    out.payload.resize(kFrameSamples);
    for (int i = 0; i < kFrameSamples; ++i) {
      out.payload[static_cast<size_t>(i)] =
          static_cast<char>(setup.alaw ? linear_to_alaw(samples[i]) : linear_to_ulaw(samples[i]));
    }
    send(EncodeRtp(out));
    out.marker = false;
    ++out.seq;
    out.timestamp += kFrameSamples;
  }
};

G711Session::G711Session(const G711Setup& setup, Send send) : impl_(std::make_unique<Impl>(setup, std::move(send))) {
  auto& m = *impl_;
  m.terminal = fax_init(nullptr, setup.fax.calling ? 1 : 0);
  // Silence between tones is sent as silence, not left out.
  fax_set_transmit_on_idle(m.terminal, 1);
  m.fax.Attach(fax_get_t30_state(m.terminal), setup.fax);
}

G711Session::~G711Session() {
  if (impl_->terminal) fax_free(impl_->terminal);
}

void G711Session::Receive(const uint8_t* data, size_t length) {
  auto& m = *impl_;
  const auto packet = DecodeRtp(data, length);
  if (packet && packet->payload_type == m.out.payload_type) m.playout.Put(*packet);
}

void G711Session::Advance(int ms) {
  auto& m = *impl_;
  m.leftover_ms += ms;
  while (m.leftover_ms >= kFrameMs && !m.fax.Finished()) {
    m.leftover_ms -= kFrameMs;
    m.Frame();
  }
}

FaxEnd& G711Session::Fax() { return impl_->fax; }
const FaxEnd& G711Session::Fax() const { return impl_->fax; }

}  // namespace qvfax::sip
