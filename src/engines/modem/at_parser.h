// The modem's side of the conversation, parsed: bytes in, results out. It
// knows nothing of ports or time, so it is tested with transcripts alone.
// Lines end with CR or LF; blank lines are skipped. After a CONNECT that
// opens a receive (+FRH, +FRM) the bytes are DLE-shielded data up to DLE ETX.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qvfax::modem {

struct AtResult {
  enum Kind {
    kOk,
    kError,
    kConnect,
    kNoCarrier,
    kNoDialtone,
    kBusy,
    kNoAnswer,
    kRing,
    kFcError,  // +FCERROR: the carrier heard is not the one asked for
    kInfo,     // any other line: an answer to a query
    kEcho,     // our own command coming back
    kData,     // received data with DLE shielding removed; `end` at DLE ETX
  };
  Kind kind;
  std::string text;  // the line, or the data bytes
  bool end = false;

  bool Final() const;  // ends a command: OK, ERROR, NO CARRIER, BUSY, ...
};

const char* ToString(AtResult::Kind kind);

class AtParser {
 public:
  // The command just written (without its CR): a line equal to it is its echo.
  void CommandSent(std::string_view command);
  // Whether the next CONNECT is followed by data (true for +FRH and +FRM).
  void DataFollowsConnect(bool data);

  std::vector<AtResult> Feed(const uint8_t* bytes, size_t length);
  std::vector<AtResult> Feed(std::string_view bytes) {
    return Feed(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }

  bool InData() const { return in_data_; }
  // Forgets a partial line or frame: after an abort or a hang-up.
  void Reset();

 private:
  void EndLine(std::vector<AtResult>& out);

  std::string line_;
  std::string echo_;
  std::string data_;
  bool data_follows_connect_ = false;
  bool in_data_ = false;
  bool dle_ = false;
  bool skip_lf_ = false;
};

}  // namespace qvfax::modem
