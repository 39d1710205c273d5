// Points every per-user folder at a fresh temporary folder, so tests never
// touch the home of whoever runs them.
#include <stdlib.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  std::string base = (std::filesystem::temp_directory_path() / "qvfax-test-XXXXXX").string();
  if (!mkdtemp(base.data())) return 1;
  for (const char* var : {"XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_STATE_HOME"}) {
    const auto dir = std::filesystem::path(base) / var;
    std::filesystem::create_directories(dir);
    setenv(var, dir.c_str(), 1);
  }
  ::testing::InitGoogleTest(&argc, argv);
  const int rc = RUN_ALL_TESTS();
  std::error_code ec;
  std::filesystem::remove_all(base, ec);
  return rc;
}
