#include "engines/line/t30_line.h"

#include <algorithm>
#include <cstring>

#include <spandsp.h>

#include "engines/core/t30_terminal.h"

namespace qvfax::line {

struct T30Line::Impl {
  fax_state_t* ours = nullptr;
  fax_state_t* remote = nullptr;  // nullptr for a voice line
  bool receiving = false;         // the remote called: our terminal receives
  awgn_state_t* noise = nullptr;
  bool hung_up = false;
  bool finished = false;
  int64_t blocks = 0;
  std::vector<LineEvent> events;
  int pages_reported = 0;

  t30_state_t* t30() const { return fax_get_t30_state(ours); }

  static int PhaseB(t30_state_t*, void* user, int) {
    static_cast<Impl*>(user)->events.push_back({LineEvent::kConnected, 0, 0});
    return T30_ERR_OK;
  }
  int Pages(t30_state_t* t) const {
    t30_stats_t stats;
    t30_get_transfer_statistics(t, &stats);
    return receiving ? stats.pages_rx : stats.pages_tx;
  }
  // Reports pages confirmed since the last report; returns the pages so far.
  int ReportPages(t30_state_t* t) {
    const int pages = Pages(t);
    if (pages > pages_reported) {
      pages_reported = pages;
      events.push_back({LineEvent::kPage, pages, 0});
    }
    return pages;
  }
  static int PhaseD(t30_state_t* t, void* user, int) {
    static_cast<Impl*>(user)->ReportPages(t);
    return T30_ERR_OK;
  }
  static void PhaseE(t30_state_t* t, void* user, int completion) {
    auto* self = static_cast<Impl*>(user);
    const int pages = self->ReportPages(t);
    self->finished = true;
    self->events.push_back({LineEvent::kFinished, pages, completion});
  }

  static void Configure(fax_state_t* fax, const Terminal& terminal) {
    fax_set_transmit_on_idle(fax, 1);
    core::ConfigureT30(fax_get_t30_state(fax), {terminal.ident, terminal.modems, terminal.ecm, true, terminal.t6});
  }

  void Exchange() {
    int16_t a_to_b[kBlockSamples];
    int16_t b_to_a[kBlockSamples];
    const int a_len = fax_tx(ours, a_to_b, kBlockSamples);
    if (a_len < kBlockSamples) std::memset(a_to_b + a_len, 0, sizeof(int16_t) * (kBlockSamples - a_len));
    if (remote) {
      const int b_len = fax_tx(remote, b_to_a, kBlockSamples);
      if (b_len < kBlockSamples) std::memset(b_to_a + b_len, 0, sizeof(int16_t) * (kBlockSamples - b_len));
    } else {
      std::memset(b_to_a, 0, sizeof b_to_a);
    }
    if (noise) {
      for (int i = 0; i < kBlockSamples; ++i) {
        a_to_b[i] = static_cast<int16_t>(std::clamp(a_to_b[i] + awgn(noise), -32768, 32767));
        b_to_a[i] = static_cast<int16_t>(std::clamp(b_to_a[i] + awgn(noise), -32768, 32767));
      }
    }
    if (remote) fax_rx(remote, a_to_b, kBlockSamples);
    fax_rx(ours, b_to_a, kBlockSamples);
    ++blocks;
  }
};

T30Line::T30Line(const CallSetup& setup) : impl_(std::make_unique<Impl>()) {
  auto& m = *impl_;
  m.receiving = setup.remote_calls;
  m.ours = fax_init(nullptr, m.receiving ? 0 : 1);
  Impl::Configure(m.ours, setup.ours);
  t30_set_phase_b_handler(m.t30(), &Impl::PhaseB, &m);
  t30_set_phase_d_handler(m.t30(), &Impl::PhaseD, &m);
  t30_set_phase_e_handler(m.t30(), &Impl::PhaseE, &m);
  if (setup.remote_is_fax || m.receiving) {
    m.remote = fax_init(nullptr, m.receiving ? 1 : 0);
    Impl::Configure(m.remote, setup.remote);
  }
  // The calling end sends, the answering end stores.
  t30_state_t* sender = m.receiving ? fax_get_t30_state(m.remote) : m.t30();
  t30_set_tx_file(sender, setup.tx_file.c_str(), -1, -1);
  if (m.remote) t30_set_rx_file(m.receiving ? m.t30() : fax_get_t30_state(m.remote), setup.rx_file.c_str(), -1);
  if (setup.noise_dbm0 != 0) {
    m.noise = awgn_init_dbm0(nullptr, setup.seed, static_cast<float>(setup.noise_dbm0));
  }
}

T30Line::~T30Line() {
  if (impl_->ours) fax_free(impl_->ours);
  if (impl_->remote) fax_free(impl_->remote);
  if (impl_->noise) awgn_free(impl_->noise);
}

std::vector<LineEvent> T30Line::Step(int blocks) {
  auto& m = *impl_;
  m.events.clear();
  for (int i = 0; i < blocks && Active(); ++i) m.Exchange();
  // A terminal pair locked in retries on a bad line must not hold the line forever.
  if (Active() && LineMs() > kMaxLineMs) {
    const int pages = Pages();
    t30_terminate(m.t30());
    if (m.remote) t30_terminate(fax_get_t30_state(m.remote));
    m.finished = true;
    m.events.push_back({LineEvent::kFinished, pages, T30_ERR_CALLDROPPED});
  }
  return std::move(m.events);
}

void T30Line::HangUp() {
  auto& m = *impl_;
  if (m.finished) return;
  m.hung_up = true;
  t30_terminate(m.t30());
  if (m.remote) t30_terminate(fax_get_t30_state(m.remote));
  m.finished = true;
}

bool T30Line::Active() const {
  const auto& m = *impl_;
  if (m.finished || m.hung_up) return false;
  return t30_call_active(m.t30()) || (m.remote && t30_call_active(fax_get_t30_state(m.remote)));
}

int64_t T30Line::LineMs() const { return impl_->blocks * kBlockMs; }

std::string T30Line::RemoteIdent() const {
  const char* ident = t30_get_rx_ident(impl_->t30());
  return ident ? ident : "";
}

int T30Line::BitRate() const {
  t30_stats_t stats;
  t30_get_transfer_statistics(impl_->t30(), &stats);
  return stats.bit_rate;
}

bool T30Line::Ecm() const {
  t30_stats_t stats;
  t30_get_transfer_statistics(impl_->t30(), &stats);
  return stats.error_correcting_mode != 0;
}

int T30Line::Pages() const { return impl_->Pages(impl_->t30()); }

}  // namespace qvfax::line
