#include "components/text_log_file.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include <fmt/format.h>

#include "platform/apartment.h"
#include "platform/automation_error.h"
#include "platform/private_files.h"
#include "platform/xdg_paths.h"

namespace qvfax {

TextLogFile::TextLogFile(WallClock wall_clock) : wall_clock_(std::move(wall_clock)) {}

TextLogFile::~TextLogFile() { Close(0); }

void TextLogFile::Open() {
  Close(0);
  if (!enabled_) return;
  const std::filesystem::path folder =
      folder_.empty() ? xdg::StateHome() / "qvfax" : std::filesystem::path(folder_);
  MakePrivateFolder(folder);
  // The day in the name keeps each file to one day's work.
  const std::string day = wall_clock_().LogText().substr(0, 10);
  const std::string stamp = day.substr(6, 4) + day.substr(3, 2) + day.substr(0, 2);
  const auto path = folder / fmt::format("{}_{}.log", application_, stamp);
  file_ = OpenPrivateForAppend(path);
  if (!file_) {
    throw AutomationError(75, kLogFileWriterClass,
                          fmt::format("Path/File access error: {}", path.string()));
  }
  file_name_ = path.string();
}

namespace {
const std::string kNoLabel = "-";
}  // namespace

void TextLogFile::WriteLine(const std::string& text, int32_t kind, int32_t, int32_t) {
  if (!file_) return;
  // A line that did not reach the disk is an error of the operation that logged it.
  errno = 0;
  // Faxes of several apartments share the day's file: each line says whose it is.
  const ApartmentContext* context = CurrentApartment();
  const std::string& label = context && !context->log_label.empty() ? context->log_label : kNoLabel;
  const bool written = std::fprintf(file_, "%s\t%d\t%s\t%s\n", wall_clock_().LogText().c_str(), kind, label.c_str(),
                                    text.c_str()) >= 0 &&
                       std::fflush(file_) == 0;
  if (!written) {
    const int error = errno;
    std::clearerr(file_);
    if (error == ENOSPC || error == EDQUOT) throw AutomationError(61, kLogFileWriterClass, "Disk full: " + file_name_);
    throw AutomationError(57, kLogFileWriterClass, "Device I/O error: " + file_name_);
  }
}

void TextLogFile::Close(int32_t) {
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

}  // namespace qvfax
