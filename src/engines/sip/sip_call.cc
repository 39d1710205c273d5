#include "engines/sip/sip_call.h"

#include <random>
#include <utility>

#include <fmt/format.h>

#include "engines/core/termination_status.h"
#include "engines/sip/g711_session.h"
#include "engines/sip/media_socket.h"
#include "engines/sip/sdp.h"
#include "engines/sip/sip_outcome.h"
#include "engines/sip/t38_session.h"
#include "values/enums.h"

namespace qvfax::sip {

namespace {

// After the far end's BYE, T.30 may still be ending its own side (a DCN on
// its way out): it gets this long before it is cut off.
constexpr int kAfterByeMs = 3000;
// A caller that has sent no fax tones by then is no fax machine (T.30's T1);
// SpanDSP's answering terminal would wait for one for ever.
constexpr int kNoFaxCallerMs = 35000;

const Media* Find(const std::vector<Media>& media, Media::Kind kind) {
  for (const auto& m : media) {
    if (m.kind == kind && m.port != 0) return &m;
  }
  return nullptr;
}

}  // namespace

struct SipCall::Impl {
  std::shared_ptr<SipAgent> agent;
  SipCallSetup setup;
  std::shared_ptr<SipDialog> dialog;
  std::unique_ptr<MediaSocket> socket;
  std::unique_ptr<G711Session> audio;
  std::unique_ptr<T38Session> t38;
  std::vector<SipCallEvent> out;
  std::vector<std::string> trace;
  uint64_t session_id = std::random_device{}();
  uint64_t sdp_version = 1;
  bool answered = false;   // the call is up
  bool finished = false;
  bool far_gone = false;   // the far end hung up
  bool reoffering = false; // our re-INVITE to T.38 is out
  bool connected_told = false;
  bool reoffer_on_ack = false;  // we answered and want T.38 once the caller confirms
  int reoffers_left = 2;        // after "491 Request Pending"
  int64_t reoffer_at_ms = -1;
  std::mt19937 random{std::random_device{}()};
  int pages_told = 0;
  int64_t ringing_ms = 0, gone_ms = 0, media_ms = 0;

  FaxEnd* Fax() { return t38 ? &t38->Fax() : audio ? &audio->Fax() : nullptr; }
  const FaxEnd* Fax() const { return t38 ? &t38->Fax() : audio ? &audio->Fax() : nullptr; }

  void Note(const std::string& line) { trace.push_back(line); }

  void Finish(int32_t status, const std::string& detail, bool hang_up) {
    if (finished) return;
    finished = true;
    if (hang_up && dialog && !far_gone) agent->HangUp(dialog);
    Note(fmt::format("call ended: status {} ({})", status, detail));
    out.push_back({SipCallEvent::kFinished, Fax() ? Fax()->Pages() : 0, status, detail});
  }

  bool OpenSocket() {
    std::string error;
    socket = MediaSocket::Open(setup.media_host, setup.rtp_first, setup.rtp_last, error);
    if (!socket) Finish(qbfaxvmstrms_B_LOCAL_IN_USE, error, false);
    return socket != nullptr;
  }

  T38Params OurT38() const {
    T38Params ours;
    ours.max_datagram = setup.t38_max_datagram;
    ours.terminal = true;
    return ours;
  }

  std::string Describe(const Media& media) {
    Media m = media;
    m.address = setup.advertised;
    m.port = socket->Port();
    return WriteSdp(setup.advertised, session_id, sdp_version++, {m});
  }

  std::string AudioOffer() {
    Media audio_offer;
    audio_offer.codecs = setup.settings.codecs;
    return Describe(audio_offer);
  }

  std::string T38Offer() {
    Media image;
    image.kind = Media::kT38;
    image.t38 = OurT38();
    return Describe(image);
  }

  void StartAudio(const Media& far, const std::string& codec) {
    socket->SendTo(far.address, far.port);
    G711Setup g{setup.fax, codec == "PCMA", setup.jitter_ms, static_cast<uint32_t>(session_id)};
    audio = std::make_unique<G711Session>(g, [this](const Bytes& d) { socket->Send(d); });
    Note(fmt::format("media: G.711 {} to {}:{}", codec, far.address, far.port));
  }

  // A switch to T.38 restarts the fax exchange: only before any page.
  bool MaySwitch() const { return setup.settings.t38 != T38Use::kOff && !t38 && (!Fax() || Fax()->Pages() == 0); }

  void StartT38(const Media& far, const T38Params& agreed) {
    socket->SendTo(far.address, far.port);
    audio.reset();
    // A gateway plays what it is sent onto a telephone line: only a far end
    // that says it is a terminal takes image data faster than its modulation.
    const bool paced = setup.settings.t38_always_paced || !far.t38.terminal;
    t38 = std::make_unique<T38Session>(T38Setup{setup.fax, agreed, setup.t38_copies, paced},
                                       [this](const Bytes& d) { socket->Send(d); });
    Note(fmt::format("media: T.38 version {}, {} bit/s, datagrams up to {}, {} to {}:{}", agreed.version,
                     agreed.max_bit_rate, agreed.max_datagram, paced ? "paced" : "unpaced", far.address, far.port));
  }

  void Place() {
    if (!OpenSocket()) return;
    Note(fmt::format("INVITE {} from account {}", setup.number, setup.settings.name));
    dialog = agent->Invite(setup.account, setup.number, AudioOffer());
  }

  void Answer(const CallEvent& incoming) {
    dialog = incoming.dialog;
    Note(fmt::format("call from {} to {}", incoming.caller_number, incoming.called_number));
    if (!OpenSocket()) {
      agent->Refuse(dialog, 503, "Service Unavailable");
      return;
    }
    std::string error;
    const auto offer = ReadSdp(incoming.sdp, error);
    const Media* image = offer ? Find(*offer, Media::kT38) : nullptr;
    const Media* sound = offer ? Find(*offer, Media::kAudio) : nullptr;
    if (image && setup.settings.t38 != T38Use::kOff) {
      const Media answer = AnswerT38Media(*image, OurT38(), setup.advertised, socket->Port());
      agent->Answer(dialog, Describe(answer));
      answered = true;
      return StartT38(*image, answer.t38);
    }
    const auto answer = sound ? AnswerAudio(*sound, setup.settings.codecs, setup.advertised, socket->Port())
                              : std::nullopt;
    if (!answer) {
      agent->Refuse(dialog, 488, "Not Acceptable Here");
      return Finish(qbfaxvmstrms_B_UNSPECIFIED,
                    "the caller offered no media a fax can use" + (error.empty() ? "" : ": " + error), false);
    }
    agent->Answer(dialog, Describe(*answer));
    answered = true;
    StartAudio(*sound, answer->codecs.front());
    // We answer with CED: a gateway switches to T.38 on hearing it, so we ask
    // as soon as the caller's ACK says the call is up at its end too (before
    // it, the caller would answer "491 Request Pending").
    reoffer_on_ack = setup.settings.t38 != T38Use::kOff;
  }

  void Reoffer() {
    reoffering = true;
    Note("re-INVITE offering T.38");
    agent->Reoffer(dialog, T38Offer());
  }

  void Heard(const CallEvent& event) {
    switch (event.kind) {
      case CallEvent::kRinging:
        Note(fmt::format("{} {}", event.status, event.phrase));
        out.push_back({SipCallEvent::kRinging});
        return;
      case CallEvent::kAnswered: {
        Note(fmt::format("{} {}", event.status, event.phrase));
        answered = true;
        std::string error;
        const auto media = ReadSdp(event.sdp, error);
        const Media* sound = media ? Find(*media, Media::kAudio) : nullptr;
        const Media* image = media ? Find(*media, Media::kT38) : nullptr;
        if (image && setup.settings.t38 != T38Use::kOff) return StartT38(*image, image->t38);
        const auto codec = sound ? AnswerAudio(*sound, setup.settings.codecs, "", 0) : std::nullopt;
        if (!codec) return Finish(qbfaxvmstrms_B_UNSPECIFIED, "the far end answered with no media a fax can use: " + error, true);
        StartAudio(*sound, codec->codecs.front());
        if (setup.settings.t38 == T38Use::kPreferred) Reoffer();
        return;
      }
      case CallEvent::kFailed: {
        const auto outcome = OutcomeOfRefusal(event.status, event.phrase, event.local, setup.settings.name);
        return Finish(outcome.status, outcome.detail, false);
      }
      case CallEvent::kEnded:
        Note("the far end hung up");
        far_gone = true;
        if (!answered) Finish(qbfaxvmstrms_DISCONNECT, "the caller hung up before the call was answered", false);
        return;
      case CallEvent::kOffer: {
        std::string error;
        const auto media = ReadSdp(event.sdp, error);
        const Media* image = media ? Find(*media, Media::kT38) : nullptr;
        const Media* sound = media ? Find(*media, Media::kAudio) : nullptr;
        if (image && MaySwitch()) {
          const Media answer = AnswerT38Media(*image, OurT38(), setup.advertised, socket->Port());
          agent->AnswerOffer(dialog, 200, Describe(answer));
          Note("the far end switched to T.38");
          return StartT38(*image, answer.t38);
        }
        const auto answer = sound && audio ? AnswerAudio(*sound, setup.settings.codecs, setup.advertised, socket->Port())
                                           : std::nullopt;
        if (answer) {
          agent->AnswerOffer(dialog, 200, Describe(*answer));
          return;
        }
        Note("refused the far end's re-INVITE");
        agent->AnswerOffer(dialog, 488, "");
        return;
      }
      case CallEvent::kOfferAnswered: {
        reoffering = false;
        std::string error;
        const auto media = ReadSdp(event.sdp, error);
        const Media* image = media ? Find(*media, Media::kT38) : nullptr;
        if (image && MaySwitch()) return StartT38(*image, image->t38);
        Note("the far end kept the call on G.711");
        return;
      }
      case CallEvent::kOfferRefused:
        reoffering = false;
        if (event.status == 491 && reoffers_left > 0) {
          // Both sides asked at once: the one that did not place the call
          // asks again within 2 s, the other after 2.1 to 4 s.
          --reoffers_left;
          std::uniform_int_distribution<int> wait(setup.fax.calling ? 2100 : 100, setup.fax.calling ? 4000 : 2000);
          reoffer_at_ms = media_ms + wait(random);
          Note(fmt::format("the far end answered {} {}; T.38 is asked for again", event.status, event.phrase));
          return;
        }
        Note(fmt::format("the far end refused T.38: {} {}; the call stays on G.711", event.status, event.phrase));
        return;
      case CallEvent::kConfirmed:
        if (reoffer_on_ack && MaySwitch()) Reoffer();
        reoffer_on_ack = false;
        return;
      case CallEvent::kIncoming:
        return;
    }
  }

  void Step(int elapsed_ms) {
    if (dialog) {
      for (const auto& event : dialog->Events().Take()) {
        if (!finished) Heard(event);
      }
    }
    if (finished) return;
    if (!answered) {
      ringing_ms += elapsed_ms;
      if (dialog && setup.number.size() && ringing_ms > setup.answer_timeout_ms) {
        Finish(qbfaxvmstrms_NO_ANSWER, fmt::format("no answer in {} s", setup.answer_timeout_ms / 1000), true);
      }
      return;
    }
    socket->Drain([this](const uint8_t* data, size_t length) {
      if (t38) t38->Receive(data, length);
      else if (audio) audio->Receive(data, length);
    });
    if (t38) t38->Advance(elapsed_ms);
    else if (audio) audio->Advance(elapsed_ms);
    media_ms += elapsed_ms;
    if (reoffer_at_ms >= 0 && media_ms >= reoffer_at_ms) {
      reoffer_at_ms = -1;
      if (MaySwitch() && !reoffering) Reoffer();
    }
    FaxEnd* fax = Fax();
    if (!fax) return;
    if (fax->Connected() && !connected_told) {
      connected_told = true;
      out.push_back({SipCallEvent::kConnected});
    }
    if (fax->Pages() > pages_told) {
      pages_told = fax->Pages();
      out.push_back({SipCallEvent::kPage, pages_told});
    }
    if (!setup.fax.calling && !fax->Connected() && media_ms > kNoFaxCallerMs) fax->HangUp(T30_ERR_T1_EXPIRED);
    if (far_gone && !fax->Finished()) {
      gone_ms += elapsed_ms;
      if (gone_ms > kAfterByeMs) fax->HangUp();
    }
    if (fax->Finished()) {
      if (fax->Pages() > pages_told) out.push_back({SipCallEvent::kPage, pages_told = fax->Pages()});
      const int completion = fax->Completion();
      Finish(core::TermStatusFor(completion),
             far_gone && completion == T30_ERR_CALLDROPPED ? "the far end hung up" : t30_completion_code_to_str(completion),
             true);
    }
  }
};

SipCall::SipCall(std::shared_ptr<SipAgent> agent, SipCallSetup setup) : impl_(std::make_unique<Impl>()) {
  impl_->agent = std::move(agent);
  impl_->setup = std::move(setup);
  impl_->Place();
}

SipCall::SipCall(std::shared_ptr<SipAgent> agent, SipCallSetup setup, const CallEvent& incoming)
    : impl_(std::make_unique<Impl>()) {
  impl_->agent = std::move(agent);
  impl_->setup = std::move(setup);
  impl_->setup.number.clear();
  impl_->Answer(incoming);
}

SipCall::~SipCall() {
  if (!impl_->finished && impl_->dialog) impl_->agent->HangUp(impl_->dialog);
}

std::vector<SipCallEvent> SipCall::Poll(int elapsed_ms) {
  impl_->Step(elapsed_ms);
  return std::exchange(impl_->out, {});
}

void SipCall::Abort() {
  auto& m = *impl_;
  if (m.finished) return;
  if (auto* fax = m.Fax()) fax->HangUp();
  m.Finish(qbfaxvmstrms_ABORT, "cancelled", true);
}

bool SipCall::Finished() const { return impl_->finished; }
std::string SipCall::RemoteIdent() const { return impl_->Fax() ? impl_->Fax()->RemoteIdent() : ""; }
int SipCall::BitRate() const { return impl_->Fax() ? impl_->Fax()->BitRate() : 0; }
bool SipCall::Ecm() const { return impl_->Fax() && impl_->Fax()->Ecm(); }
int64_t SipCall::ConnectedMs() const { return impl_->media_ms; }
const std::vector<std::string>& SipCall::Trace() const { return impl_->trace; }

}  // namespace qvfax::sip
