// Splits a byte stream into lines, one JSON-RPC message each. Bytes in,
// complete lines out; a line longer than the limit is reported once and then
// skipped up to its end, so the stream resynchronises on the next line.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace qvfax::rpc {

class LineFramer {
 public:
  static constexpr size_t kDefaultLimit = 1 << 20;

  using OnLine = std::function<void(std::string line)>;
  using OnOversized = std::function<void()>;

  LineFramer(OnLine on_line, OnOversized on_oversized, size_t limit = kDefaultLimit);

  void Feed(std::string_view bytes);

 private:
  OnLine on_line_;
  OnOversized on_oversized_;
  size_t limit_;
  std::string partial_;
  bool skipping_ = false;
};

}  // namespace qvfax::rpc
