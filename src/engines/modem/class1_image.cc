// The training check and the pages under +FTM: plain T.4 data paced at the
// line's rate, or ECM frames HDLC-framed here and sent the same way.
#include <algorithm>

#include <fmt/format.h>

#include "engines/modem/class1_session.h"

namespace qvfax::modem {

using namespace class1;

namespace class1 {

int ModulationCode(int type, int bit_rate, bool short_train) {
  switch (type) {
    case T30_MODEM_V27TER: return bit_rate == 2400 ? 24 : 48;
    case T30_MODEM_V29: return bit_rate == 7200 ? 72 : 96;
    case T30_MODEM_V17: {
      const int base = bit_rate == 7200 ? 73 : bit_rate == 9600 ? 97 : bit_rate == 12000 ? 121 : 145;
      return base + (short_train ? 1 : 0);
    }
    default: return 0;
  }
}

}  // namespace class1

void Class1Call::Impl::SendData(const TxRequest& request) {
  const int code = ModulationCode(request.type, request.bit_rate, request.short_train != 0);
  last_was_rx = false;
  if (!request.short_train) status = "Training";
  Command("AT+FTS=8", setup.command_timeout_ms, false, [this, code, request](const AtResult&) {
    Command(fmt::format("AT+FTM={}", code), setup.command_timeout_ms, false, [this, request](const AtResult& r) {
      if (r.kind == AtResult::kFcError) {
        return Fail(core::LineResult::kModemError, "the modem would not send at this speed");
      }
      if (r.kind != AtResult::kConnect) return Fail(core::LineResult::kModemError, "AT+FTM: " + r.text);
      data_rate = request.bit_rate;
      data_started_ms = now_ms;
      data_pulled = 0;
      if (request.hdlc) {
        StartEcm();
      } else {
        step = Step::kTxData;
        PumpData();
      }
    });
  });
}

void Class1Call::Impl::PumpData() {
  if (step != Step::kTxData) return;
  // Keep a little more than the line has taken so far: never starve the
  // modem (it would drop the carrier), never flood it.
  const int64_t budget = static_cast<int64_t>(data_rate) / 8 * (now_ms - data_started_ms + kLeadMs) / 1000;
  uint8_t chunk[512];
  while (data_pulled < budget) {
    const int want = static_cast<int>(std::min<int64_t>(sizeof chunk, budget - data_pulled));
    const int got = t30_non_ecm_get_chunk(t30, chunk, want);
    if (got > 0) {
      Write(Shielded(chunk, static_cast<size_t>(got)));
      data_pulled += got;
    }
    if (got < want) {
      Log(fmt::format("> data {} bytes <DLE><ETX>", data_pulled));
      Write(std::string{char(kDle), char(kEtx)});
      step = Step::kTxDrain;
      // The modem says OK when the last byte has left it.
      deadline_ms = now_ms + setup.command_timeout_ms + kLeadMs * 4;
      return;
    }
  }
}

void Class1Call::Impl::StartEcm() {
  if (hdlc) hdlc_tx_free(hdlc);
  hdlc = hdlc_tx_init(nullptr, 0, 2, 0, &HdlcUnderflow, this);
  hdlc_idle = false;
  // A fifth of a second of flags lets the far receiver find the frames.
  hdlc_tx_flags(hdlc, data_rate / 8 / 5);
  step = Step::kTxEcm;
  PumpEcm();
}

void Class1Call::Impl::PumpEcm() {
  if (step != Step::kTxEcm) return;
  const int64_t budget = static_cast<int64_t>(data_rate) / 8 * (now_ms - data_started_ms + kLeadMs) / 1000;
  std::string chunk;
  while (data_pulled < budget) {
    if (hdlc_idle && !frames.empty()) {
      if (!frames.front()) {
        // The burst is over and its last frame is out: close with flags and end the data.
        frames.pop_front();
        for (int i = 0; i < 4; ++i) chunk.push_back(static_cast<char>(0x7e));
        Write(Shielded(reinterpret_cast<const uint8_t*>(chunk.data()), chunk.size()));
        Log(fmt::format("> ecm data {} bytes <DLE><ETX>", data_pulled + 4));
        Write(std::string{char(kDle), char(kEtx)});
        hdlc_tx_free(hdlc);
        hdlc = nullptr;
        step = Step::kTxDrain;
        deadline_ms = now_ms + setup.command_timeout_ms + kLeadMs * 4;
        return;
      }
      const std::string f = *frames.front();
      frames.pop_front();
      hdlc_idle = false;
      hdlc_tx_frame(hdlc, reinterpret_cast<const uint8_t*>(f.data()), f.size());
      StepComplete();  // T.30 queues its next frame at once
      continue;
    }
    // Class 1 data goes least significant bit first; the framer gives the first bit on top.
    chunk.push_back(static_cast<char>(bit_reverse8(static_cast<uint8_t>(hdlc_tx_get_byte(hdlc)))));
    ++data_pulled;
  }
  Write(Shielded(reinterpret_cast<const uint8_t*>(chunk.data()), chunk.size()));
}
}  // namespace qvfax::modem
