// The compiled string table, generated from strings.tsv, sorted by ID.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qvfax::detail {

struct StringTableEntry {
  int32_t id;
  const char* text;  // UTF-8
};

extern const StringTableEntry kStringTable[];
extern const std::size_t kStringTableSize;

}  // namespace qvfax::detail
