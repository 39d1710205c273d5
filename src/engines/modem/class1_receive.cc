// Image data received under +FRM: the training check and the pages, plain
// T.4 straight to T.30, or ECM frames deframed here (the modem frames only
// V.21). A +FRM that hears V.21 instead (+FCERROR) means the sender is
// repeating a command we missed: the next listen is +FRH.
#include <fmt/format.h>

#include "engines/modem/class1_session.h"

namespace qvfax::modem {

using namespace class1;

namespace {

constexpr int kDataGapMs = 15000;  // a carrier brings bytes all the time: this long without one, it has gone

}  // namespace

void Class1Call::Impl::Receive() {
  const int code = ModulationCode(rx_type, rx_bit_rate, rx_short_train);
  status = "Receiving";
  last_was_rx = true;
  Command(fmt::format("AT+FRM={}", code), kFrhGuardMs, true, [this](const AtResult& r) {
    listening = false;
    step = Step::kIdle;
    switch (r.kind) {
      case AtResult::kConnect:
        step = Step::kRxImage;
        deadline_ms = now_ms + kDataGapMs;
        if (rx_hdlc) {
          // Frames are CRC-16 under ECM; four flags in a row say the framing is found.
          hdlc_in = hdlc_rx_init(hdlc_in, false, true, 4, &t30_hdlc_accept, t30);
          t30_hdlc_accept(t30, nullptr, SIG_STATUS_TRAINING_SUCCEEDED, true);
        } else {
          t30_non_ecm_put_bit(t30, SIG_STATUS_TRAINING_SUCCEEDED);
        }
        return;
      case AtResult::kFcError:
        hear_v21 = true;
        return;
      default:
        // No carrier yet: ask again; T.30's timers decide how long.
        not_before_ms = now_ms + 50;
        return;
    }
  });
  listening = true;
}

void Class1Call::Impl::ImageData(const std::string& bytes, bool end) {
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  if (rx_hdlc) {
    // Class 1 data comes least significant bit first; the deframer wants the first bit on top.
    for (size_t i = 0; i < bytes.size(); ++i) hdlc_rx_put_byte(hdlc_in, bit_reverse8(data[i]));
  } else if (!bytes.empty()) {
    t30_non_ecm_put_chunk(t30, data, static_cast<int>(bytes.size()));
  }
  deadline_ms = now_ms + kDataGapMs;
  if (end) {
    Log("< data ended <DLE><ETX>");
    step = Step::kRxImageEnd;
    deadline_ms = now_ms + 3000;
  }
}

void Class1Call::Impl::ImageEnded(const AtResult& r) {
  if (step == Step::kRxImage) Log("the carrier went before the data ended: " + r.text);
  step = Step::kIdle;
  ImageCarrierDown();
}

void Class1Call::Impl::ImageCarrierDown() {
  if (rx_hdlc) {
    t30_hdlc_accept(t30, nullptr, SIG_STATUS_CARRIER_DOWN, true);
  } else {
    t30_non_ecm_put_bit(t30, SIG_STATUS_CARRIER_DOWN);
  }
}

}  // namespace qvfax::modem
