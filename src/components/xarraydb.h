// A two-dimensional array of variants with VB-style bounds. Redimensioning
// discards every row; AppendRows adds rows at the top of dimension 1.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/vb_types.h"

namespace qvfax {

class XArrayDB {
 public:
  // Bounds (-1, -1) leave one placeholder row at index -1 that the server
  // never touches; the first appended row is row 0.
  void ReDim(int32_t lower1, int32_t upper1, int32_t lower2, int32_t upper2);
  void AppendRows(int32_t count);
  int32_t LowerBound(int32_t dimension) const;
  int32_t UpperBound(int32_t dimension) const;  // raises 9 for a dimension other than 1 or 2
  // Raise 9 (subscript out of range) outside the bounds.
  void Value(int32_t row, int32_t column, Variant value);
  const Variant& Value(int32_t row, int32_t column) const;
  int32_t Rows() const { return upper1_ - lower1_ + 1; }

 private:
  size_t Index(int32_t row, int32_t column) const;

  int32_t lower1_ = 0, upper1_ = -1, lower2_ = 0, upper2_ = -1;
  std::vector<Variant> cells_;
};

}  // namespace qvfax
