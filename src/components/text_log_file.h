// The log file writer's stand-in: one text file per application and day in the
// log folder (the user's state folder when none is given), a time stamp and
// kind per line, written through and flushed so a crash loses nothing. Lines
// written while the file is not open are dropped.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>

#include "components/log_file_writer.h"
#include "platform/ole_date.h"

namespace qvfax {

class TextLogFile : public LogFileWriter {
 public:
  using WallClock = std::function<OleDate()>;
  explicit TextLogFile(WallClock wall_clock);
  ~TextLogFile() override;

  void ApplicationName(const std::string& name) override { application_ = name; }
  void Folder(const std::string& folder) override { folder_ = folder; }
  void Enabled(bool enabled) override { enabled_ = enabled; }
  void Open() override;
  void WriteLine(const std::string& text, int32_t kind, int32_t arg1, int32_t arg2) override;
  void Close(int32_t how) override;
  std::string FileName() const override { return file_name_; }

 private:
  WallClock wall_clock_;
  std::string application_ = "qvfax";
  std::string folder_;
  bool enabled_ = false;
  std::string file_name_;
  std::FILE* file_ = nullptr;
};

}  // namespace qvfax
