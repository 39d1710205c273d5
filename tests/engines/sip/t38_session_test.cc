// Two T.38 ends fax each other through a network of the test's own that
// loses, delays and reorders datagrams, in simulated time: pages arrive
// equal, or the call says honestly how far it got.
#include <algorithm>
#include <map>
#include <random>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "engines/pages/tiff_pages.h"
#include "engines/sip/t38_session.h"
#include "page_compare.h"
#include "tiff_maker.h"

namespace qvfax::sip {
namespace {

// One direction of the network: each datagram is lost, or arrives after
// 20 ms and up to `jitter_ms` more. Datagrams keep their order as a queue
// does, but one in fifty is held back the whole jitter and overtaken.
struct Link {
  double loss;
  int jitter_ms;
  std::mt19937 random;
  std::multimap<int64_t, Bytes> in_flight;
  int64_t now = 0;
  int64_t last_arrival = 0;
  int sent = 0, lost = 0, overtaken = 0;

  void Put(const Bytes& datagram) {
    ++sent;
    std::uniform_real_distribution<double> chance(0, 1);
    if (chance(random) < loss) {
      ++lost;
      return;
    }
    const int64_t jitter = jitter_ms > 0 ? static_cast<int64_t>(random() % static_cast<uint32_t>(jitter_ms + 1)) : 0;
    if (jitter_ms > 0 && chance(random) < 0.02) {
      ++overtaken;
      in_flight.emplace(now + 20 + jitter_ms + 20, datagram);
      return;
    }
    last_arrival = std::max(last_arrival, now + 20 + jitter);
    in_flight.emplace(last_arrival, datagram);
  }

  void Deliver(T38Session& to) {
    while (!in_flight.empty() && in_flight.begin()->first <= now) {
      const Bytes datagram = in_flight.begin()->second;
      in_flight.erase(in_flight.begin());
      to.Receive(reinterpret_cast<const uint8_t*>(datagram.data()), datagram.size());
    }
  }
};

struct NetCase {
  const char* name;
  double loss;
  int jitter_ms;
  ErrorCorrection error_correction;
  bool must_arrive;  // with copies, loss this light never stops a fax
};

class T38Call : public ::testing::TestWithParam<NetCase> {};

TEST_P(T38Call, PagesArriveEqualOrTheCallSaysHowFarItGot) {
  const NetCase c = GetParam();
  const std::string sent = qvfax::testing::MakeFaxTiff(qvfax::testing::ScratchPath("t38-sent.tif"), 3,
                                                       qvfax::testing::PageResolution::kFine,
                                                       pages::PageStyle::kLetter);
  const std::string received = qvfax::testing::ScratchPath(fmt::format("t38-received-{}.tif", c.name));
  T38Params params;
  params.error_correction = c.error_correction;
  Link forth{c.loss, c.jitter_ms, std::mt19937(7), {}};
  Link back{c.loss, c.jitter_ms, std::mt19937(11), {}};
  T38Setup caller_setup{true, sent, "", {"+39 06 5550101"}, params};
  T38Setup answer_setup{false, "", received, {"+39 06 5550199"}, params};
  T38Session caller(caller_setup, [&](const Bytes& d) { forth.Put(d); });
  T38Session answerer(answer_setup, [&](const Bytes& d) { back.Put(d); });
  // At most ten minutes of call, in 20 ms steps.
  for (int64_t now = 0; now < 10 * 60 * 1000 && !(caller.Finished() && answerer.Finished()); now += 20) {
    forth.now = back.now = now;
    forth.Deliver(answerer);
    back.Deliver(caller);
    caller.Advance(20);
    answerer.Advance(20);
  }
  ASSERT_TRUE(caller.Finished() && answerer.Finished())
      << "the call did not end; datagrams sent " << forth.sent << ", lost " << forth.lost;
  if (c.loss > 0) {
    EXPECT_GT(forth.lost, 0) << "the network lost nothing: the case tests nothing";
  }
  // What the answering end confirmed is what its file holds, and never more than was sent.
  const int kept = std::max(pages::CountPages(received), 0);
  EXPECT_EQ(answerer.Pages(), kept);
  EXPECT_LE(kept, 3);
  EXPECT_LE(caller.Pages(), answerer.Pages()) << "the sender counts no page the receiver did not confirm";
  if (c.must_arrive || caller.Completion() == T30_ERR_OK) {
    EXPECT_EQ(caller.Completion(), T30_ERR_OK) << t30_completion_code_to_str(caller.Completion());
    EXPECT_EQ(answerer.Completion(), T30_ERR_OK) << t30_completion_code_to_str(answerer.Completion());
    EXPECT_EQ(caller.Pages(), 3);
    qvfax::testing::ExpectSamePages(sent, received, 3);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sip, T38Call,
    ::testing::Values(NetCase{"Clean", 0, 0, ErrorCorrection::kRedundancy, true},
                      NetCase{"OnePercentLost", 0.01, 60, ErrorCorrection::kRedundancy, true},
                      NetCase{"FivePercentLostAndJitter", 0.05, 60, ErrorCorrection::kRedundancy, true},
                      NetCase{"FivePercentLostNoCopies", 0.05, 60, ErrorCorrection::kNone, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qvfax::sip
