// The AT parser against transcripts as modems really send them.
#include <gtest/gtest.h>

#include "engines/modem/at_parser.h"

namespace qvfax::modem {
namespace {

using K = AtResult::Kind;

struct Transcript {
  const char* name;
  const char* command;  // what we sent, for echo; "" for none
  bool data_follows;
  std::string bytes;
  std::vector<std::pair<K, std::string>> expected;
};

std::string Bytes(std::initializer_list<int> b) {
  std::string s;
  for (int c : b) s.push_back(static_cast<char>(c));
  return s;
}

class AtTranscripts : public ::testing::TestWithParam<Transcript> {};

TEST_P(AtTranscripts, GiveTheirResultsInOrder) {
  const auto& t = GetParam();
  AtParser parser;
  if (*t.command) parser.CommandSent(t.command);
  parser.DataFollowsConnect(t.data_follows);
  std::vector<std::pair<K, std::string>> got;
  // Fed one byte at a time, as a slow port delivers them; data pieces are joined.
  for (char c : t.bytes) {
    for (const auto& r : parser.Feed(std::string_view(&c, 1))) {
      if (r.kind == K::kData && !got.empty() && got.back().first == K::kData && !got.back().second.empty() &&
          got.back().second.back() != '$') {
        got.back().second += r.text;
      } else {
        got.emplace_back(r.kind, r.text);
      }
      if (r.kind == K::kData && r.end) got.back().second += "$";
    }
  }
  EXPECT_EQ(got, t.expected);
}

const Transcript kTranscripts[] = {
    {"echo_then_ok", "ATZ", false, "ATZ\r\r\nOK\r\n", {{K::kEcho, "ATZ"}, {K::kOk, "OK"}}},
    {"echo_in_other_case", "at+fclass=1", false, "AT+FCLASS=1\r\r\nOK\r\n", {{K::kEcho, "AT+FCLASS=1"}, {K::kOk, "OK"}}},
    {"query_answer", "AT+FCLASS=?", false, "\r\n0,1,1.0\r\n\r\nOK\r\n", {{K::kInfo, "0,1,1.0"}, {K::kOk, "OK"}}},
    {"no_dialtone", "ATDT5550100", false, "\r\nNO DIALTONE\r\n", {{K::kNoDialtone, "NO DIALTONE"}}},
    {"no_dial_tone_spaced", "ATDT1", false, "\r\nNO DIAL TONE\r\n", {{K::kNoDialtone, "NO DIAL TONE"}}},
    {"busy", "ATDT1", false, "\r\nBUSY\r\n", {{K::kBusy, "BUSY"}}},
    {"no_answer", "ATDT1", false, "\r\nNO ANSWER\r\n", {{K::kNoAnswer, "NO ANSWER"}}},
    {"fcerror", "AT+FRM=146", false, "\r\n+FCERROR\r\n", {{K::kFcError, "+FCERROR"}}},
    {"ring_in_the_middle", "AT+FCLASS=?", false, "\r\nRING\r\n\r\n0,1\r\n\r\nOK\r\n",
     {{K::kRing, "RING"}, {K::kInfo, "0,1"}, {K::kOk, "OK"}}},
    {"connect_with_speed", "ATD1", false, "\r\nCONNECT 14400\r\n", {{K::kConnect, "CONNECT 14400"}}},
    {"flow_control_characters_are_dropped", "", false, "\x11\r\nOK\x13\r\n", {{K::kOk, "OK"}}},
    {"garbled_line_is_information", "", false, "\r\n\x7f!#OK?\r\n", {{K::kInfo, "\x7f!#OK?"}}},
    {"frame_then_ok", "AT+FRH=3", true,
     "\r\nCONNECT\r\n" + Bytes({0xff, 0x13, 0x80, 0x10, 0x10, 0x55, 0x10, 0x03}) + "\r\nOK\r\n",
     {{K::kConnect, "CONNECT"}, {K::kData, Bytes({0xff, 0x13, 0x80, 0x10, 0x55}) + "$"}, {K::kOk, "OK"}}},
    {"frame_with_bad_fcs", "AT+FRH=3", true, "\r\nCONNECT\r\n" + Bytes({0xff, 0x03, 0x21, 0x10, 0x03}) + "\r\nERROR\r\n",
     {{K::kConnect, "CONNECT"}, {K::kData, Bytes({0xff, 0x03, 0x21}) + "$"}, {K::kError, "ERROR"}}},
    {"dle_sub_is_two_dles", "AT+FRH=3", true, "\r\nCONNECT\r\n" + Bytes({0x10, 0x1a, 0x10, 0x03}),
     {{K::kConnect, "CONNECT"}, {K::kData, Bytes({0x10, 0x10}) + "$"}}},
    {"data_may_hold_cr_and_lf", "AT+FRH=3", true, "\r\nCONNECT\r\n\n\r" + Bytes({0x10, 0x03}) + "\r\nNO CARRIER\r\n",
     {{K::kConnect, "CONNECT"}, {K::kData, "\n\r$"}, {K::kNoCarrier, "NO CARRIER"}}},
};

INSTANTIATE_TEST_SUITE_P(Modems, AtTranscripts, ::testing::ValuesIn(kTranscripts),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AtParser, ResetForgetsAFrameCutShort) {
  AtParser parser;
  parser.DataFollowsConnect(true);
  parser.Feed("\r\nCONNECT\r\nabc");
  EXPECT_TRUE(parser.InData());
  parser.Reset();
  EXPECT_FALSE(parser.InData());
  const auto results = parser.Feed("\r\nOK\r\n");
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].kind, K::kOk);
}

TEST(AtParser, OnlyResultsThatEndACommandAreFinal) {
  for (K kind : {K::kOk, K::kError, K::kConnect, K::kNoCarrier, K::kNoDialtone, K::kBusy, K::kNoAnswer, K::kFcError}) {
    EXPECT_TRUE((AtResult{kind, ""}.Final())) << ToString(kind);
  }
  for (K kind : {K::kRing, K::kInfo, K::kEcho, K::kData}) EXPECT_FALSE((AtResult{kind, ""}.Final())) << ToString(kind);
}

}  // namespace
}  // namespace qvfax::modem
