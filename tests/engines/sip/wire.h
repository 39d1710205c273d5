// Datagrams as the sip tests write them, octet by octet, and read back.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "engines/sip/udptl.h"

namespace qvfax::sip::testing {

inline Bytes Wire(std::initializer_list<int> octets) {
  Bytes out;
  for (int o : octets) out.push_back(static_cast<char>(o));
  return out;
}

// `decode` (DecodeUdptl, DecodeRtp) on the octets of `wire`.
template <typename Decode>
auto Read(Decode decode, const Bytes& wire) {
  return decode(reinterpret_cast<const uint8_t*>(wire.data()), wire.size());
}

}  // namespace qvfax::sip::testing
