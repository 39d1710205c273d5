// The string table: every description, server message and product name, by ID.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace qvfax::string_table {

// The entry's text, or nothing when the table has no entry with that ID.
std::optional<std::string_view> Find(int32_t id);
std::size_t Size();

// Fixed IDs.
inline constexpr int32_t kProductName = 1;
inline constexpr int32_t kServerInitialised = 20000;
inline constexpr int32_t kServerTerminated = 20001;

}  // namespace qvfax::string_table
