// Where a received fax is stored (by us, or by the line engine's virtual
// remote): a new private file in an inbox, named by the time and the number
// that called or was dialled, never one that is there already.
#pragma once

#include <filesystem>
#include <string>

#include "platform/ole_date.h"

namespace qvfax::core {

// The stamp a received file is named by: "yyyymmdd-hhnnss" of `when`.
std::string ReceivedStamp(const OleDate& when);

// Creates "<stamp>-<number>.tif" (or "-2", "-3", … when that name is taken)
// empty and mode 0600, and returns it. The number is cut to a length every
// file system takes, and every character but letters, digits and "+" is "_".
std::filesystem::path ReserveReceivedFile(const std::filesystem::path& inbox, const std::string& stamp,
                                          const std::string& number);

// Whether `file` is a name ReserveReceivedFile gives a fax sent to `number`.
bool IsReceivedFileFor(const std::filesystem::path& file, const std::string& number);

}  // namespace qvfax::core
