// T.38's session parameters as SDP carries them in the attributes of an
// "m=image ... udptl t38" line, read from an offer and answered: the answer
// never promises more than either side can do.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engines/sip/udptl.h"

namespace qvfax::sip {

struct T38Params {
  int version = 0;
  int max_bit_rate = 14400;
  bool transferred_tcf = true;  // the training check crosses the network, or each gateway makes its own (localTCF)
  int max_buffer = 0;           // 0: not given
  int max_datagram = 400;       // the longest datagram the sender of these parameters takes
  ErrorCorrection error_correction = ErrorCorrection::kRedundancy;
  bool fill_bit_removal = false;
  bool transcoding_mmr = false;
  bool transcoding_jbig = false;
  // The end that wrote these parameters is a fax terminal, not a gateway to a
  // telephone line: it takes image data as fast as the network carries it.
  // Our own attribute; other endpoints never send it, and are paced.
  bool terminal = false;
};

// The attributes (without "a=") of one m=image section. Attributes that are
// not T.38's are let be; a T.38 attribute with a value that makes no sense
// gives nullopt and `error` naming it.
std::optional<T38Params> ParseT38(const std::vector<std::string>& attributes, std::string& error);

// What we answer to `offer` when we can do `ours`.
T38Params AnswerT38(const T38Params& offer, const T38Params& ours);

// The attributes that say `params`, in the order endpoints usually send them.
std::vector<std::string> T38Attributes(const T38Params& params);

}  // namespace qvfax::sip
