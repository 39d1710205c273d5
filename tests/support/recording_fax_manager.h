// A fax manager for tests: records calls and returns scripted texts, or null
// for a text left unset.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "components/fax_manager.h"

namespace qvfax::testing {

class RecordingFaxManager : public FaxManager {
 public:
  std::vector<std::string> calls;
  std::optional<std::string> baud, page_ready, status;
  int16_t page_number = 0;

  void SetDialogMode(int32_t mode) override {
    calls.push_back("SetDialogMode(" + std::to_string(mode) + ")");
  }
  const char* GetBaudText() override { return Text("GetBaudText", baud); }
  const char* GetPageReadyText() override { return Text("GetPageReadyText", page_ready); }
  const char* GetStatusText() override { return Text("GetStatusText", status); }
  int16_t GetPageNumberInt() override {
    calls.push_back("GetPageNumberInt");
    return page_number;
  }

 private:
  const char* Text(const char* call, const std::optional<std::string>& value) {
    calls.push_back(call);
    return value ? value->c_str() : nullptr;
  }
};

}  // namespace qvfax::testing
