#include "engines/modem/at_parser.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace qvfax::modem {

namespace {

constexpr uint8_t kDle = 0x10;
constexpr uint8_t kEtx = 0x03;
constexpr uint8_t kSub = 0x1a;  // DLE SUB: two DLEs, sent by some modems to save a byte

struct Word {
  std::string_view text;
  AtResult::Kind kind;
  bool prefix;  // CONNECT may carry a speed
};

constexpr Word kWords[] = {
    {"OK", AtResult::kOk, false},
    {"ERROR", AtResult::kError, false},
    {"CONNECT", AtResult::kConnect, true},
    {"NO CARRIER", AtResult::kNoCarrier, false},
    {"NO DIALTONE", AtResult::kNoDialtone, false},
    {"NO DIAL TONE", AtResult::kNoDialtone, false},
    {"BUSY", AtResult::kBusy, false},
    {"NO ANSWER", AtResult::kNoAnswer, false},
    {"RING", AtResult::kRing, false},
    {"+FCERROR", AtResult::kFcError, false},
    {"+F4", AtResult::kFcError, false},  // the older spelling of +FCERROR
};

bool SameCommand(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
         });
}

}  // namespace

bool AtResult::Final() const {
  switch (kind) {
    case kOk:
    case kError:
    case kConnect:
    case kNoCarrier:
    case kNoDialtone:
    case kBusy:
    case kNoAnswer:
    case kFcError:
      return true;
    default:
      return false;
  }
}

const char* ToString(AtResult::Kind kind) {
  switch (kind) {
    case AtResult::kOk: return "OK";
    case AtResult::kError: return "ERROR";
    case AtResult::kConnect: return "CONNECT";
    case AtResult::kNoCarrier: return "NO CARRIER";
    case AtResult::kNoDialtone: return "NO DIALTONE";
    case AtResult::kBusy: return "BUSY";
    case AtResult::kNoAnswer: return "NO ANSWER";
    case AtResult::kRing: return "RING";
    case AtResult::kFcError: return "+FCERROR";
    case AtResult::kInfo: return "information";
    case AtResult::kEcho: return "echo";
    case AtResult::kData: return "data";
  }
  return "?";
}

void AtParser::CommandSent(std::string_view command) { echo_ = std::string(command); }

void AtParser::DataFollowsConnect(bool data) { data_follows_connect_ = data; }

void AtParser::Reset() {
  line_.clear();
  data_.clear();
  in_data_ = false;
  dle_ = false;
  skip_lf_ = false;
}

void AtParser::EndLine(std::vector<AtResult>& out) {
  // Flow-control characters and stray controls are not part of any answer.
  std::string text;
  for (char c : line_) {
    if (static_cast<unsigned char>(c) >= 0x20) text.push_back(c);
  }
  line_.clear();
  while (!text.empty() && text.back() == ' ') text.pop_back();
  if (text.empty()) return;
  if (!echo_.empty() && SameCommand(text, echo_)) {
    echo_.clear();
    out.push_back({AtResult::kEcho, std::move(text)});
    return;
  }
  for (const auto& word : kWords) {
    const bool match = word.prefix ? text.rfind(word.text, 0) == 0 : text == word.text;
    if (!match) continue;
    out.push_back({word.kind, std::move(text)});
    if (word.kind == AtResult::kConnect && data_follows_connect_) {
      in_data_ = true;
      dle_ = false;
      skip_lf_ = true;  // the CR LF after CONNECT is not data
      data_.clear();
    }
    return;
  }
  out.push_back({AtResult::kInfo, std::move(text)});
}

std::vector<AtResult> AtParser::Feed(const uint8_t* bytes, size_t length) {
  std::vector<AtResult> out;
  for (size_t i = 0; i < length; ++i) {
    const uint8_t b = bytes[i];
    if (in_data_) {
      if (skip_lf_) {
        skip_lf_ = false;
        if (b == '\n') continue;
      }
      if (dle_) {
        dle_ = false;
        if (b == kEtx) {
          in_data_ = false;
          out.push_back({AtResult::kData, std::move(data_), true});
          data_.clear();
        } else if (b == kDle) {
          data_.push_back(static_cast<char>(kDle));
        } else if (b == kSub) {
          data_.append(2, static_cast<char>(kDle));
        }
        // Any other DLE pair is a modem's in-band signal; it carries no data.
        continue;
      }
      if (b == kDle) {
        dle_ = true;
      } else {
        data_.push_back(static_cast<char>(b));
      }
      continue;
    }
    if (b == '\r' || b == '\n') {
      EndLine(out);
    } else {
      line_.push_back(static_cast<char>(b));
    }
  }
  if (in_data_ && !data_.empty()) {
    out.push_back({AtResult::kData, std::move(data_), false});
    data_.clear();
  }
  return out;
}

}  // namespace qvfax::modem
