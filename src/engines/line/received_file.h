// Where the virtual remote stores a fax it receives: a new private file in
// the inbox, named by the time and the number dialled.
#pragma once

#include <filesystem>
#include <string>

namespace qvfax::line {

// Creates "<stamp>-<number>.tif" (or "-2", "-3", … when that name is taken)
// empty and mode 0600, and returns it. The number is cut to a length every
// file system takes, and every character but letters, digits and "+" is "_".
std::filesystem::path ReserveReceivedFile(const std::filesystem::path& inbox, const std::string& stamp,
                                          const std::string& number);

// Whether `file` is a name ReserveReceivedFile gives a fax sent to `number`.
bool IsReceivedFileFor(const std::filesystem::path& file, const std::string& number);

}  // namespace qvfax::line
