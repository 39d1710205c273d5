#include "rpc/line_framer.h"

namespace qvfax::rpc {

LineFramer::LineFramer(OnLine on_line, OnOversized on_oversized, size_t limit)
    : on_line_(std::move(on_line)), on_oversized_(std::move(on_oversized)), limit_(limit) {}

void LineFramer::Feed(std::string_view bytes) {
  while (!bytes.empty()) {
    const size_t newline = bytes.find('\n');
    const std::string_view piece = bytes.substr(0, newline);
    if (!skipping_) {
      if (partial_.size() + piece.size() > limit_) {
        partial_.clear();
        skipping_ = true;
        on_oversized_();
      } else {
        partial_.append(piece);
      }
    }
    if (newline == std::string_view::npos) return;
    bytes.remove_prefix(newline + 1);
    if (!skipping_) {
      std::string line = std::move(partial_);
      partial_.clear();
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty()) on_line_(std::move(line));
    }
    skipping_ = false;
  }
}

}  // namespace qvfax::rpc
