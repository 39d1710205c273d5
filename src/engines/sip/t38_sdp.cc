#include "engines/sip/t38_sdp.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include <fmt/format.h>

namespace qvfax::sip {

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// A number in 0..limit, as the whole of `text`.
std::optional<int> Number(const std::string& text, int limit) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < 0 || value > limit) return std::nullopt;
  return value;
}

// A flag is on when it stands alone or says so ("T38FaxFillBitRemoval" or
// "T38FaxFillBitRemoval:1"); some endpoints write ":0" for off.
std::optional<bool> Flag(const std::string& value, bool has_value) {
  if (!has_value) return true;
  if (value == "1") return true;
  if (value == "0") return false;
  return std::nullopt;
}

}  // namespace

std::optional<T38Params> ParseT38(const std::vector<std::string>& attributes, std::string& error) {
  T38Params p;
  p.error_correction = ErrorCorrection::kNone;  // unless the offer names one
  for (const auto& attribute : attributes) {
    const auto colon = attribute.find(':');
    const bool has_value = colon != std::string::npos;
    const std::string name = Lower(attribute.substr(0, colon));
    std::string value = has_value ? attribute.substr(colon + 1) : "";
    while (!value.empty() && std::isspace(static_cast<unsigned char>(value.back()))) value.pop_back();
    auto bad = [&] {
      error = fmt::format("T.38 attribute \"{}\" has a value that makes no sense", attribute);
      return std::nullopt;
    };
    if (name == "t38faxversion") {
      const auto v = Number(value, 3);
      if (!v) return bad();
      p.version = *v;
    } else if (name == "t38maxbitrate") {
      const auto v = Number(value, 33600);
      if (!v || *v < 2400) return bad();
      p.max_bit_rate = *v;
    } else if (name == "t38faxratemanagement") {
      if (Lower(value) == "transferredtcf") {
        p.transferred_tcf = true;
      } else if (Lower(value) == "localtcf") {
        p.transferred_tcf = false;
      } else {
        return bad();
      }
    } else if (name == "t38faxmaxbuffer") {
      const auto v = Number(value, 1 << 20);
      if (!v) return bad();
      p.max_buffer = *v;
    } else if (name == "t38faxmaxdatagram") {
      // Shorter than a datagram of one line of data is no datagram to send.
      const auto v = Number(value, 65507);
      if (!v || *v < 32) return bad();
      p.max_datagram = *v;
    } else if (name == "t38faxudpec") {
      const std::string ec = Lower(value);
      if (ec == "t38udpredundancy") {
        p.error_correction = ErrorCorrection::kRedundancy;
      } else if (ec == "t38udpfec") {
        p.error_correction = ErrorCorrection::kFec;
      } else if (ec == "t38udpnoec") {
        p.error_correction = ErrorCorrection::kNone;
      } else {
        return bad();
      }
    } else if (name == "x-qvfax-terminal") {
      p.terminal = true;
    } else if (name == "t38faxfillbitremoval" || name == "t38faxtranscodingmmr" || name == "t38faxtranscodingjbig") {
      const auto on = Flag(value, has_value);
      if (!on) return bad();
      bool& field = name == "t38faxfillbitremoval" ? p.fill_bit_removal
                    : name == "t38faxtranscodingmmr" ? p.transcoding_mmr
                                                      : p.transcoding_jbig;
      field = *on;
    }
  }
  return p;
}

T38Params AnswerT38(const T38Params& offer, const T38Params& ours) {
  T38Params a;
  a.version = std::min(offer.version, ours.version);
  a.max_bit_rate = std::min(offer.max_bit_rate, ours.max_bit_rate);
  // The offerer chose how the training check goes; an answer may not change it.
  a.transferred_tcf = offer.transferred_tcf;
  a.max_buffer = ours.max_buffer;
  a.max_datagram = ours.max_datagram;  // what we take
  // Parity we do not recover from: copies, when the offer wants protection at all.
  a.error_correction = offer.error_correction == ErrorCorrection::kNone || ours.error_correction == ErrorCorrection::kNone
                           ? ErrorCorrection::kNone
                           : ErrorCorrection::kRedundancy;
  // Nothing here rewrites the image on the way: these stay off.
  a.fill_bit_removal = false;
  a.transcoding_mmr = false;
  a.transcoding_jbig = false;
  a.terminal = ours.terminal;  // says what we are, not what the offerer is
  return a;
}

std::vector<std::string> T38Attributes(const T38Params& p) {
  std::vector<std::string> out = {
      fmt::format("T38FaxVersion:{}", p.version),
      fmt::format("T38MaxBitRate:{}", p.max_bit_rate),
      fmt::format("T38FaxRateManagement:{}", p.transferred_tcf ? "transferredTCF" : "localTCF"),
  };
  if (p.max_buffer > 0) out.push_back(fmt::format("T38FaxMaxBuffer:{}", p.max_buffer));
  out.push_back(fmt::format("T38FaxMaxDatagram:{}", p.max_datagram));
  if (p.error_correction == ErrorCorrection::kRedundancy) out.emplace_back("T38FaxUdpEC:t38UDPRedundancy");
  if (p.error_correction == ErrorCorrection::kFec) out.emplace_back("T38FaxUdpEC:t38UDPFEC");
  if (p.fill_bit_removal) out.emplace_back("T38FaxFillBitRemoval");
  if (p.transcoding_mmr) out.emplace_back("T38FaxTranscodingMMR");
  if (p.transcoding_jbig) out.emplace_back("T38FaxTranscodingJBIG");
  if (p.terminal) out.emplace_back("X-qvfax-terminal");
  return out;
}

}  // namespace qvfax::sip
