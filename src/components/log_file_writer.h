// The log file writer, one per apartment: configured, opened, written line by
// line with a kind (0 log and trace lines, 3 lifecycle lines), closed.
#pragma once

#include <cstdint>
#include <string>

namespace qvfax {

class LogFileWriter {
 public:
  virtual ~LogFileWriter() = default;

  virtual void ApplicationName(const std::string& name) = 0;
  virtual void Folder(const std::string& folder) = 0;  // empty: the default folder
  virtual void Enabled(bool enabled) = 0;
  virtual void Open() = 0;
  virtual void WriteLine(const std::string& text, int32_t kind, int32_t arg1, int32_t arg2) = 0;
  virtual void Close(int32_t how) = 0;
  virtual std::string FileName() const = 0;  // the file in use; empty before Open
};

inline constexpr const char* kLogFileWriterClass = "QvNrLogFile.Writer";

}  // namespace qvfax
