// The single door to the string table, one per apartment.
#pragma once

#include <cstdint>
#include <string>

namespace qvfax {

class QvBkgFaxVmResDll {
 public:
  QvBkgFaxVmResDll() = default;
  ~QvBkgFaxVmResDll();
  QvBkgFaxVmResDll(const QvBkgFaxVmResDll&) = delete;
  QvBkgFaxVmResDll& operator=(const QvBkgFaxVmResDll&) = delete;

  // The entry's text; for a missing entry "Manca la risora: <index> QvNrVavUvaRazUr".
  // `length` is accepted for callers' sake and has no effect. Never fails.
  std::string LoadDllString(int32_t index, int32_t length = 255) const;

  // Loads a shared object and remembers it; a failure records error 48 (see
  // LastError) and leaves no library loaded and the name empty.
  void DllName(const std::string& name);
  const std::string& DllName() const { return name_; }

  struct RecordedError {
    int32_t number = 0;
    std::string description;
  };
  const RecordedError& LastError() const { return last_error_; }

 private:
  void* handle_ = nullptr;
  std::string name_;
  RecordedError last_error_;
};

// The description of `code` under `base`: the text of ID base + code (base +
// |code| when `absolute`), in 32-bit arithmetic: an ID that overflows raises 6.
// Reads the current apartment's loader, raising 91 when there is none.
std::string DescribeCode(int32_t base, int32_t code, bool absolute = false);

}  // namespace qvfax
