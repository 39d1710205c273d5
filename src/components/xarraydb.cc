#include "components/xarraydb.h"

#include "platform/automation_error.h"

namespace qvfax {

namespace {
[[noreturn]] void RaiseOutOfRange() {
  throw AutomationError(9, "XArrayDB", "Subscript out of range");
}
}  // namespace

void XArrayDB::ReDim(int32_t lower1, int32_t upper1, int32_t lower2, int32_t upper2) {
  if (upper1 < lower1 - 1 || upper2 < lower2) RaiseOutOfRange();
  lower1_ = lower1;
  upper1_ = upper1;
  lower2_ = lower2;
  upper2_ = upper2;
  cells_.assign(static_cast<size_t>(Rows()) * static_cast<size_t>(upper2_ - lower2_ + 1), Variant{});
}

void XArrayDB::AppendRows(int32_t count) {
  if (count < 0) RaiseOutOfRange();
  upper1_ += count;
  cells_.resize(static_cast<size_t>(Rows()) * static_cast<size_t>(upper2_ - lower2_ + 1));
}

int32_t XArrayDB::LowerBound(int32_t dimension) const {
  if (dimension == 1) return lower1_;
  if (dimension == 2) return lower2_;
  RaiseOutOfRange();
}

int32_t XArrayDB::UpperBound(int32_t dimension) const {
  if (dimension == 1) return upper1_;
  if (dimension == 2) return upper2_;
  RaiseOutOfRange();
}

size_t XArrayDB::Index(int32_t row, int32_t column) const {
  if (row < lower1_ || row > upper1_ || column < lower2_ || column > upper2_) RaiseOutOfRange();
  return static_cast<size_t>(row - lower1_) * static_cast<size_t>(upper2_ - lower2_ + 1) +
         static_cast<size_t>(column - lower2_);
}

void XArrayDB::Value(int32_t row, int32_t column, Variant value) {
  cells_[Index(row, column)] = std::move(value);
}

const Variant& XArrayDB::Value(int32_t row, int32_t column) const {
  return cells_[Index(row, column)];
}

}  // namespace qvfax
