// The session descriptions of a fax call: audio (G.711 over RTP) or T.38
// (over UDPTL), read from the far end's SDP with sofia-sip's parser and
// written for ours. An answer takes the first codec of the offer that we
// also do, and T.38's parameters that both sides do.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engines/sip/t38_sdp.h"

namespace qvfax::sip {

struct Media {
  enum Kind { kAudio, kT38 } kind = kAudio;
  std::string address;              // where the far end takes this media
  int port = 0;                     // 0: declined
  std::vector<std::string> codecs;  // audio: PCMA, PCMU in the order given (other codecs left out)
  std::vector<int> payload_types;   // the payload type of each codec
  T38Params t38;                    // kT38
};

// The media of an SDP body that a fax can use; `error` says why there is
// none (not SDP, no address, nothing a fax can use).
std::optional<std::vector<Media>> ReadSdp(const std::string& body, std::string& error);

// An SDP body offering or answering `media` from `address`.
std::string WriteSdp(const std::string& address, uint64_t session, uint64_t version, const std::vector<Media>& media);

// Our answer to an offered audio stream: its first codec we do, or nullopt.
std::optional<Media> AnswerAudio(const Media& offer, const std::vector<std::string>& ours, const std::string& address,
                                 int port);
Media AnswerT38Media(const Media& offer, const T38Params& ours, const std::string& address, int port);

}  // namespace qvfax::sip
