#include "engines/sip/sdp.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include <fmt/format.h>
#include <sofia-sip/sdp.h>
#include <sofia-sip/su_alloc.h>

namespace qvfax::sip {

namespace {

constexpr size_t kLongestSdp = 16384;

// G.711's static payload types.
int StaticType(const std::string& codec) { return codec == "PCMU" ? 0 : 8; }

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
  return text;
}

// The first "m=" line that is not "m=MEDIA PORT[/COUNT] PROTO FORMAT...",
// or "". sofia-sip's parser (1.13) loops for ever, allocating, on some media
// lines that are not (a format that begins with '/', a character outside the
// tokens SDP allows), so those never reach it.
std::string MalformedMediaLine(const std::string& body) {
  auto is_token = [](const std::string& t, const char* extra) {
    return !t.empty() && std::all_of(t.begin(), t.end(), [extra](char c) {
             return std::isalnum(static_cast<unsigned char>(c)) || std::strchr(extra, c) != nullptr;
           });
  };
  const char* const kTokenChars = "!#$%&'*+-.^_`{|}~";
  size_t start = 0;
  while (start < body.size()) {
    size_t end = body.find('\n', start);
    if (end == std::string::npos) end = body.size();
    std::string line = body.substr(start, end - start);
    start = end + 1;
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
    if (line.rfind("m=", 0) != 0) continue;
    std::vector<std::string> fields;
    for (size_t at = 2; at <= line.size();) {
      const size_t space = std::min(line.find(' ', at), line.size());
      fields.push_back(line.substr(at, space - at));
      at = space + 1;
    }
    const bool ok =
        fields.size() >= 4 && is_token(fields[0], "") &&
        std::all_of(fields[1].begin(), fields[1].end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)) || c == '/'; }) &&
        is_token(fields[1], "/") && fields[1].front() != '/' && fields[1].back() != '/' &&
        is_token(fields[2], "/-._") && fields[2].front() != '/' && fields[2].back() != '/' &&
        fields[2].find("//") == std::string::npos &&
        std::all_of(fields.begin() + 3, fields.end(), [&](const std::string& f) { return is_token(f, kTokenChars); });
    if (!ok) return line;
  }
  return "";
}

}  // namespace

std::optional<std::vector<Media>> ReadSdp(const std::string& body, std::string& error) {
  // SDP is lines of text. Control characters are refused before the parser
  // sees them: sofia-sip's parser (1.13) loops for ever on some of them.
  const auto control = std::find_if(body.begin(), body.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u < 0x20 && c != '\r' && c != '\n' && c != '\t') || u >= 0x7f;
  });
  if (control != body.end()) {
    error = fmt::format("the SDP cannot be read: it holds a control character (\\x{:02x})",
                        static_cast<unsigned char>(*control));
    return std::nullopt;
  }
  if (body.size() > kLongestSdp) {
    error = fmt::format("the SDP cannot be read: {} bytes is longer than any description of a call", body.size());
    return std::nullopt;
  }
  if (const std::string bad = MalformedMediaLine(body); !bad.empty()) {
    error = fmt::format("the SDP cannot be read: \"{}\" is no media line", bad);
    return std::nullopt;
  }
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
      if (m->m_port > 65535) continue;  // no such port: nothing to send to
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
