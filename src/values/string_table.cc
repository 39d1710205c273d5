#include "values/string_table.h"

#include <algorithm>

#include "values/string_table_data.h"

namespace qvfax::string_table {

std::optional<std::string_view> Find(int32_t id) {
  const auto* begin = detail::kStringTable;
  const auto* end = begin + detail::kStringTableSize;
  const auto* it = std::lower_bound(
      begin, end, id, [](const detail::StringTableEntry& e, int32_t key) { return e.id < key; });
  if (it == end || it->id != id) return std::nullopt;
  return std::string_view(it->text);
}

std::size_t Size() { return detail::kStringTableSize; }

}  // namespace qvfax::string_table
