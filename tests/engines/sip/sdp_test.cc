// Session descriptions as SIP endpoints write them: audio and T.38 read,
// what a fax cannot use left out, our answers written and read back.
#include <random>

#include <gtest/gtest.h>

#include "engines/sip/sdp.h"

namespace qvfax::sip {
namespace {

const char* const kHead = "v=0\r\no=- 123 456 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n";

TEST(Sdp, AnAudioOfferIsReadAndAnsweredWithItsFirstCodecWeDo) {
  std::string error;
  const auto media = ReadSdp(std::string(kHead) +
                                 "m=video 9000 RTP/AVP 96\r\na=rtpmap:96 H264/90000\r\n"
                                 "m=audio 10000 RTP/AVP 0 8 101\r\na=rtpmap:0 PCMU/8000\r\na=rtpmap:8 PCMA/8000\r\n"
                                 "a=rtpmap:101 telephone-event/8000\r\na=sendrecv\r\n",
                             error);
  ASSERT_TRUE(media.has_value()) << error;
  ASSERT_EQ(media->size(), 1u) << "the video is nothing a fax uses";
  const Media& audio = media->front();
  EXPECT_EQ(audio.kind, Media::kAudio);
  EXPECT_EQ(audio.address, "127.0.0.1");
  EXPECT_EQ(audio.port, 10000);
  EXPECT_EQ(audio.codecs, (std::vector<std::string>{"PCMU", "PCMA"}));
  const auto answer = AnswerAudio(audio, {"PCMA", "PCMU"}, "127.0.0.2", 20000);
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(answer->codecs, std::vector<std::string>{"PCMU"}) << "the offerer's order decides";
  EXPECT_FALSE(AnswerAudio(audio, {}, "127.0.0.2", 20000).has_value());
}

TEST(Sdp, AT38OfferIsReadWithItsOwnAddressAndAnsweredAndOursReadsBack) {
  std::string error;
  const auto media = ReadSdp(std::string(kHead) +
                                 "m=image 20002 udptl t38\r\nc=IN IP4 10.1.2.3\r\na=T38FaxVersion:0\r\n"
                                 "a=T38MaxBitRate:9600\r\na=T38FaxRateManagement:transferredTCF\r\n"
                                 "a=T38FaxMaxDatagram:200\r\na=T38FaxUdpEC:t38UDPFEC\r\n",
                             error);
  ASSERT_TRUE(media.has_value()) << error;
  ASSERT_EQ(media->size(), 1u);
  EXPECT_EQ(media->front().kind, Media::kT38);
  EXPECT_EQ(media->front().address, "10.1.2.3");
  EXPECT_EQ(media->front().t38.max_datagram, 200);
  const Media answer = AnswerT38Media(media->front(), T38Params{}, "127.0.0.2", 20002);
  EXPECT_EQ(answer.t38.max_bit_rate, 9600);
  EXPECT_EQ(answer.t38.error_correction, ErrorCorrection::kRedundancy);

  // Ours, audio and T.38 both, read back as written.
  Media audio{Media::kAudio, "127.0.0.2", 20000, {"PCMA", "PCMU"}, {8, 0}, {}};
  const std::string body = WriteSdp("127.0.0.2", 1, 2, {audio, answer});
  const auto again = ReadSdp(body, error);
  ASSERT_TRUE(again.has_value()) << error << "\n" << body;
  ASSERT_EQ(again->size(), 2u);
  EXPECT_EQ((*again)[0].codecs, audio.codecs);
  EXPECT_EQ((*again)[0].port, 20000);
  EXPECT_EQ((*again)[1].kind, Media::kT38);
  EXPECT_EQ((*again)[1].t38.max_bit_rate, 9600);
  EXPECT_EQ((*again)[1].t38.error_correction, ErrorCorrection::kRedundancy);
}

TEST(Sdp, BodiesAFaxCannotUseSayWhy) {
  const std::pair<std::string, std::string> rows[] = {
      {"hello", "the SDP cannot be read"},
      {std::string(kHead) + "m=video 9000 RTP/AVP 96\r\n", "the SDP offers neither G.711 audio nor T.38"},
      {std::string(kHead) + "m=audio 10000 RTP/AVP 18\r\na=rtpmap:18 G729/8000\r\n",
       "the SDP offers neither G.711 audio nor T.38"},
      {std::string(kHead) + "m=image 20002 udptl t38\r\na=T38FaxMaxDatagram:1\r\n",
       "T.38 attribute \"T38FaxMaxDatagram:1\""},
      // No address for the media: sofia-sip's parser refuses it.
      {"v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=-\r\nt=0 0\r\nm=audio 10000 RTP/AVP 8\r\n",
       "the SDP cannot be read: No c="},
  };
  for (const auto& [body, why] : rows) {
    std::string error;
    EXPECT_FALSE(ReadSdp(body, error).has_value()) << body;
    EXPECT_EQ(error.rfind(why, 0), 0u) << error;
  }
}

// Whatever a far end sends, reading it gives media a fax can use or a reason,
// never something in between.
TEST(Sdp, BrokenDescriptionsGiveUsableMediaOrAReason) {
  const std::string seed = std::string(kHead) +
                           "m=audio 10000 RTP/AVP 0 8\r\na=rtpmap:0 PCMU/8000\r\na=rtpmap:8 PCMA/8000\r\n"
                           "m=image 20002 udptl t38\r\na=T38FaxVersion:0\r\na=T38MaxBitRate:14400\r\n"
                           "a=T38FaxMaxDatagram:200\r\na=T38FaxUdpEC:t38UDPRedundancy\r\n";
  int read = 0;
  // Each seed once found a body sofia-sip's parser would never have finished.
  for (const uint32_t random_seed : {1u, 3u, 5u, 11u}) {
    std::mt19937 random(random_seed);
    for (int i = 0; i < 5000; ++i) {
      std::string body = seed;
      for (int e = 1 + static_cast<int>(random() % 6); e > 0 && !body.empty(); --e) {
        const size_t at = random() % body.size();
        switch (random() % 4) {
          case 0: body[at] = static_cast<char>(random()); break;
          case 1: body.erase(at, random() % 30); break;
          case 2: body.insert(at, body.substr(at, random() % 60)); break;
          case 3: body.insert(at, std::to_string(random())); break;
        }
      }
      std::string error;
      const auto media = ReadSdp(body, error);
      if (!media) {
        EXPECT_FALSE(error.empty()) << body;
        continue;
      }
      ++read;
      ASSERT_FALSE(media->empty()) << body;
      for (const auto& m : *media) {
        EXPECT_TRUE(m.port >= 0 && m.port <= 65535) << body;
        for (const auto& codec : m.codecs) EXPECT_TRUE(codec == "PCMA" || codec == "PCMU") << body;
      }
    }
  }
  EXPECT_GT(read, 400) << "many broken bodies still hold a usable stream";
}

}  // namespace
}  // namespace qvfax::sip
