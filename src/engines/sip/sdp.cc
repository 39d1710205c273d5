#include "engines/sip/sdp.h"

#include <algorithm>
#include <cctype>

#include <fmt/format.h>
#include <sofia-sip/sdp.h>
#include <sofia-sip/su_alloc.h>

namespace qvfax::sip {

namespace {

// G.711's static payload types.
int StaticType(const std::string& codec) { return codec == "PCMU" ? 0 : 8; }

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
  return text;
}

}  // namespace

std::optional<std::vector<Media>> ReadSdp(const std::string& body, std::string& error) {
  su_home_t home[1] = {SU_HOME_INIT(home)};
  sdp_parser_t* parser = sdp_parse(home, body.c_str(), static_cast<issize_t>(body.size()), 0);
  sdp_session_t* session = sdp_session(parser);
  std::optional<std::vector<Media>> out;
  if (!session) {
    const char* why = sdp_parsing_error(parser);
    error = fmt::format("the SDP cannot be read: {}", why ? why : "unknown error");
  } else {
    out.emplace();
    for (const sdp_media_t* m = session->sdp_media; m; m = m->m_next) {
      const sdp_connection_t* c = m->m_connections ? m->m_connections : session->sdp_connection;
      Media media;
      media.address = c && c->c_address ? c->c_address : "";
      media.port = static_cast<int>(m->m_port);
      if (m->m_type == sdp_media_audio && m->m_proto == sdp_proto_rtp) {
        media.kind = Media::kAudio;
        for (const sdp_rtpmap_t* r = m->m_rtpmaps; r; r = r->rm_next) {
          const std::string codec = Upper(r->rm_encoding ? r->rm_encoding : "");
          if ((codec == "PCMA" || codec == "PCMU") && r->rm_rate == 8000) {
            media.codecs.push_back(codec);
            media.payload_types.push_back(static_cast<int>(r->rm_pt));
          }
        }
        if (media.codecs.empty()) continue;
      } else if (m->m_type == sdp_media_image && m->m_proto == sdp_proto_udptl) {
        media.kind = Media::kT38;
        std::vector<std::string> attributes;
        for (const sdp_attribute_t* a = m->m_attributes; a; a = a->a_next) {
          attributes.push_back(a->a_value ? fmt::format("{}:{}", a->a_name, a->a_value) : a->a_name);
        }
        const auto t38 = ParseT38(attributes, error);
        if (!t38) {
          out.reset();
          break;
        }
        media.t38 = *t38;
      } else {
        continue;  // video, messages and the like: nothing a fax uses
      }
      out->push_back(std::move(media));
    }
    if (out && out->empty()) {
      error = "the SDP offers neither G.711 audio nor T.38";
      out.reset();
    }
  }
  sdp_parser_free(parser);
  su_home_deinit(home);
  return out;
}

std::string WriteSdp(const std::string& address, uint64_t session, uint64_t version, const std::vector<Media>& media) {
  const char* family = address.find(':') != std::string::npos ? "IP6" : "IP4";
  std::string out = fmt::format("v=0\r\no=qvfax {} {} IN {} {}\r\ns=fax\r\nc=IN {} {}\r\nt=0 0\r\n", session, version,
                                family, address, family, address);
  for (const auto& m : media) {
    if (m.kind == Media::kAudio) {
      std::string types;
      for (const auto& codec : m.codecs) types += fmt::format(" {}", StaticType(codec));
      out += fmt::format("m=audio {} RTP/AVP{}\r\n", m.port, types);
      for (const auto& codec : m.codecs) out += fmt::format("a=rtpmap:{} {}/8000\r\n", StaticType(codec), codec);
      out += "a=ptime:20\r\na=sendrecv\r\n";
    } else {
      out += fmt::format("m=image {} udptl t38\r\n", m.port);
      for (const auto& line : T38Attributes(m.t38)) out += "a=" + line + "\r\n";
    }
  }
  return out;
}

std::optional<Media> AnswerAudio(const Media& offer, const std::vector<std::string>& ours, const std::string& address,
                                 int port) {
  for (const auto& codec : offer.codecs) {
    if (std::find(ours.begin(), ours.end(), codec) == ours.end()) continue;
    Media answer;
    answer.kind = Media::kAudio;
    answer.address = address;
    answer.port = port;
    answer.codecs = {codec};
    answer.payload_types = {StaticType(codec)};
    return answer;
  }
  return std::nullopt;
}

Media AnswerT38Media(const Media& offer, const T38Params& ours, const std::string& address, int port) {
  Media answer;
  answer.kind = Media::kT38;
  answer.address = address;
  answer.port = port;
  answer.t38 = AnswerT38(offer.t38, ours);
  return answer;
}

}  // namespace qvfax::sip
