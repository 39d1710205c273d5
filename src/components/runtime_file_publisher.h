// The text publisher's stand-in: each publication atomically replaces the
// file named after the publication in a runtime folder (write, then rename),
// and is announced to in-process followers.
#pragma once

#include <filesystem>

#include "components/text_publisher.h"

namespace qvfax {

class RuntimeFilePublisher : public TextPublisher {
 public:
  // `folder` is created on Open, mode 0700.
  explicit RuntimeFilePublisher(std::filesystem::path folder);

  void Open(const std::string& name) override;
  void Publish(const std::string& text) override;

 private:
  std::filesystem::path folder_;
  std::string name_;
  std::string path_;
  std::string temp_path_;
  std::string written_;  // what the file holds since our last write
};

}  // namespace qvfax
