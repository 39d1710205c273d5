// A software telephone line with a fax call on it: our T.30 terminal at one
// end, a virtual remote fax machine at the other, real modulations and page
// coding in between (SpanDSP), in 20 ms audio blocks. Either end may call:
// the caller sends its document, the answering end stores it. The line only
// moves when Step() is called, so its time is the call's own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qvfax::line {

struct Terminal {
  std::string ident;             // the station id it sends (TSI or CSI)
  bool ecm = true;
  bool t6 = true;                // T.6 (MMR) among its compressions
  int modems = 7;                // T30_SUPPORT_V27TER | V29 | V17
};

struct CallSetup {
  Terminal ours;
  Terminal remote;
  bool remote_calls = false;     // the remote calls us and sends; else we call and send
  std::string tx_file;           // the document the calling end sends, a TIFF/F file
  std::string rx_file;           // where the answering end stores what it receives
  bool remote_is_fax = true;     // false: a voice line that never sends fax tones (we call only)
  double noise_dbm0 = 0;         // 0: a clean line; else the level of white noise added, e.g. -35
  int seed = 1234;
};

// What happened on the line during a Step, in order.
struct LineEvent {
  enum Kind { kConnected, kPage, kFinished } kind;
  int page = 0;                  // kPage, kFinished: pages confirmed so far (sent, or received)
  int completion = 0;            // kFinished: our terminal's T.30 completion code
};

class T30Line {
 public:
  static constexpr int kBlockSamples = 160;  // 20 ms at 8000 samples a second
  static constexpr int kBlockMs = 20;
  static constexpr int64_t kMaxLineMs = 30 * 60 * 1000;  // then the call is dropped

  explicit T30Line(const CallSetup& setup);
  ~T30Line();
  T30Line(const T30Line&) = delete;
  T30Line& operator=(const T30Line&) = delete;

  // Runs up to `blocks` blocks; returns the events, and stops early at the end.
  std::vector<LineEvent> Step(int blocks);
  // Hangs up our end: both terminals see the call end; no event follows.
  void HangUp();
  bool Active() const;

  int64_t LineMs() const;        // line time so far
  std::string RemoteIdent() const;
  int BitRate() const;
  bool Ecm() const;
  // Pages confirmed so far in the call's direction: sent by us, or received.
  int Pages() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qvfax::line
