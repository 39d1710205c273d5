// Two ends fax each other, over T.38 or as G.711 audio, through a network
// of the test's own that loses, delays and reorders datagrams, in simulated
// time: pages arrive equal, or the call says honestly how far it got.
#include <algorithm>
#include <map>
#include <random>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "engines/pages/tiff_pages.h"
#include "engines/sip/g711_session.h"
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

  template <typename Session>
  void Deliver(Session& to) {
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
  ErrorCorrection error_correction;  // T.38 only
  bool must_arrive;  // loss this light never stops a fax
  bool paced = true;  // T.38 only: false when both ends are terminals
};

// Runs a call of 3 fine pages between two sessions made by `make` and
// checks how it ended.
template <typename Session, typename Make>
void RunCall(const NetCase& c, const std::string& kind, Make make) {
  const std::string sent = qvfax::testing::MakeFaxTiff(qvfax::testing::ScratchPath("media-sent.tif"), 3,
                                                       qvfax::testing::PageResolution::kFine,
                                                       pages::PageStyle::kLetter);
  const std::string received = qvfax::testing::ScratchPath(fmt::format("{}-received-{}.tif", kind, c.name));
  Link forth{c.loss, c.jitter_ms, std::mt19937(7), {}};
  Link back{c.loss, c.jitter_ms, std::mt19937(11), {}};
  Session caller(make(FaxEndSetup{true, sent, "", {"+39 06 5550101"}}), [&](const Bytes& d) { forth.Put(d); });
  Session answerer(make(FaxEndSetup{false, "", received, {"+39 06 5550199"}}), [&](const Bytes& d) { back.Put(d); });
  // At most ten minutes of call, in 20 ms steps.
  for (int64_t now = 0; now < 10 * 60 * 1000 && !(caller.Fax().Finished() && answerer.Fax().Finished()); now += 20) {
    forth.now = back.now = now;
    forth.Deliver(answerer);
    back.Deliver(caller);
    caller.Advance(20);
    answerer.Advance(20);
  }
  ASSERT_TRUE(caller.Fax().Finished() && answerer.Fax().Finished())
      << "the call did not end; datagrams sent " << forth.sent << ", lost " << forth.lost;
  if (c.loss > 0) {
    EXPECT_GT(forth.lost, 0) << "the network lost nothing: the case tests nothing";
  }
  // What the answering end confirmed is what its file holds, and never more than was sent.
  const int kept = std::max(pages::CountPages(received), 0);
  EXPECT_EQ(answerer.Fax().Pages(), kept);
  EXPECT_LE(kept, 3);
  EXPECT_LE(caller.Fax().Pages(), answerer.Fax().Pages()) << "the sender counts no page the receiver did not confirm";
  if (c.must_arrive || caller.Fax().Completion() == T30_ERR_OK) {
    EXPECT_EQ(caller.Fax().Completion(), T30_ERR_OK) << t30_completion_code_to_str(caller.Fax().Completion());
    EXPECT_EQ(answerer.Fax().Completion(), T30_ERR_OK) << t30_completion_code_to_str(answerer.Fax().Completion());
    EXPECT_EQ(caller.Fax().Pages(), 3);
    qvfax::testing::ExpectSamePages(sent, received, 3);
  }
}

class T38Call : public ::testing::TestWithParam<NetCase> {};

TEST_P(T38Call, PagesArriveEqualOrTheCallSaysHowFarItGot) {
  T38Params params;
  params.error_correction = GetParam().error_correction;
  RunCall<T38Session>(GetParam(), "t38",
                      [&](const FaxEndSetup& fax) { return T38Setup{fax, params, 3, GetParam().paced}; });
}

INSTANTIATE_TEST_SUITE_P(
    Sip, T38Call,
    ::testing::Values(NetCase{"Clean", 0, 0, ErrorCorrection::kRedundancy, true},
                      NetCase{"OnePercentLost", 0.01, 60, ErrorCorrection::kRedundancy, true},
                      NetCase{"FivePercentLostAndJitter", 0.05, 60, ErrorCorrection::kRedundancy, true},
                      NetCase{"FivePercentLostNoCopies", 0.05, 60, ErrorCorrection::kNone, false},
                      NetCase{"UnpacedClean", 0, 0, ErrorCorrection::kRedundancy, true, false},
                      NetCase{"UnpacedFivePercentLostAndJitter", 0.05, 60, ErrorCorrection::kRedundancy, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

class G711Call : public ::testing::TestWithParam<NetCase> {};

TEST_P(G711Call, PagesArriveEqualOrTheCallSaysHowFarItGot) {
  // ECM: a frame the line spoilt is sent again, never kept wrong.
  RunCall<G711Session>(GetParam(), "g711", [](const FaxEndSetup& fax) { return G711Setup{fax}; });
}

INSTANTIATE_TEST_SUITE_P(Sip, G711Call,
                         ::testing::Values(NetCase{"Clean", 0, 0, ErrorCorrection::kNone, true},
                                           NetCase{"OnePercentLostAndJitter", 0.01, 60, ErrorCorrection::kNone, false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qvfax::sip
