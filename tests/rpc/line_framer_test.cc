#include "rpc/line_framer.h"

#include <gtest/gtest.h>

namespace qvfax::rpc {
namespace {

TEST(LineFramer, SplitsLinesAcrossChunksAndSkipsOversizedOnes) {
  std::vector<std::string> lines;
  int oversized = 0;
  LineFramer framer([&](std::string line) { lines.push_back(std::move(line)); }, [&] { ++oversized; }, 8);
  framer.Feed("{\"a\":1}\n{\"b");
  framer.Feed("\":2}\r\n\n");
  framer.Feed("0123456789abcdef");
  framer.Feed("more\nok\n");
  EXPECT_EQ(lines, (std::vector<std::string>{"{\"a\":1}", "{\"b\":2}", "ok"}));
  EXPECT_EQ(oversized, 1);
}

}  // namespace
}  // namespace qvfax::rpc
