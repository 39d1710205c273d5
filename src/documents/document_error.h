// Why a document cannot become fax pages: one line naming the file, the page
// where it applies, and the reason. A local error is this host's fault (no
// space, no permission), not the document's: the same document may go later.
#pragma once

#include <stdexcept>
#include <string>

namespace qvfax::documents {

class DocumentError : public std::runtime_error {
 public:
  DocumentError(const std::string& file, int page, const std::string& reason, bool local = false)
      : std::runtime_error(file + (page > 0 ? ": page " + std::to_string(page) : std::string()) + ": " + reason),
        file_(file), page_(page), reason_(reason), local_(local) {}
  const std::string& file() const { return file_; }
  int page() const { return page_; }  // from 1; 0 when the whole file is at fault
  const std::string& reason() const { return reason_; }
  bool local() const { return local_; }

 private:
  std::string file_;
  int page_;
  std::string reason_;
  bool local_;
};

}  // namespace qvfax::documents
