// The AT parser fed random and mangled modem output: it never fails, never
// reports data outside a receive, and always comes back to reading results.
#include <random>

#include <gtest/gtest.h>

#include "engines/modem/at_parser.h"

namespace qvfax::modem {
namespace {

TEST(AtParserFuzz, SurvivesAnyBytesAndRecovers) {
  std::mt19937 random(20261206);
  const std::string pieces[] = {"\r\n", "OK", "CONNECT", "NO CARRIER", "+FCERROR", "RING", "ERROR",
                                std::string(1, '\x10'), std::string(1, '\x03'), std::string(1, '\x1a'),
                                std::string(1, '\0'), "AT+FRH=3", "\xff\x13\x80"};
  for (int round = 0; round < 2000; ++round) {
    AtParser parser;
    parser.DataFollowsConnect(random() % 2 == 0);
    std::string bytes;
    const int count = static_cast<int>(random() % 40);
    for (int i = 0; i < count; ++i) {
      if (random() % 3 == 0) {
        bytes.push_back(static_cast<char>(random() % 256));
      } else {
        bytes += pieces[random() % std::size(pieces)];
      }
    }
    for (const auto& r : parser.Feed(bytes)) {
      if (r.kind != AtResult::kData) {
        EXPECT_FALSE(r.text.empty()) << "round " << round;
      }
    }
    // Whatever came before, a finished frame and a result line are read again.
    parser.Reset();
    parser.DataFollowsConnect(false);
    const auto after = parser.Feed("\r\nOK\r\n");
    ASSERT_EQ(after.size(), 1u) << "round " << round;
    EXPECT_EQ(after[0].kind, AtResult::kOk);
  }
}

}  // namespace
}  // namespace qvfax::modem
