// The fax manager library: the dialog switch and four progress readings of
// the manager as a whole. Texts are NUL-terminated and owned by the library;
// an address stays valid until the next call of the same function, or is null.
#pragma once

#include <cstdint>

namespace qvfax {

class FaxManager {
 public:
  virtual ~FaxManager() = default;

  virtual void SetDialogMode(int32_t mode) = 0;  // 1 show, 0 hide
  virtual const char* GetBaudText() = 0;
  virtual const char* GetPageReadyText() = 0;
  virtual const char* GetStatusText() = 0;
  virtual int16_t GetPageNumberInt() = 0;
};

}  // namespace qvfax
