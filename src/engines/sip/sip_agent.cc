// sofia-sip keeps all its state on the thread that made its root: the agent
// runs that thread, and commands reach it through a queue and a wake-up
// socket the root waits on beside its own.
#include "engines/sip/sip_agent.h"

#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include <fmt/format.h>
#include <sofia-sip/msg_header.h>
#include <sofia-sip/nua.h>
#include <sofia-sip/nua_tag.h>
#include <sofia-sip/sip_status.h>
#include <sofia-sip/su_tag_io.h>
#include <sofia-sip/su_wait.h>

#include <algorithm>
#include <map>

namespace qvfax::sip {

namespace {

constexpr std::chrono::seconds kRetryRegistration{60};

}  // namespace

struct SipAgent::Impl {
  SipConfig config;
  RegistrationChanged changed;
  std::string error;

  std::thread thread;
  std::mutex mutex;
  std::deque<std::function<void()>> commands;
  bool stopping = false;
  int wake[2] = {-1, -1};
  su_wait_t waiter;

  su_root_t* root = nullptr;
  nua_t* nua = nullptr;
  struct Account {
    nua_handle_t* handle = nullptr;
    Registration now;
    int challenges = 0;  // answered with the password since the last success
  };
  std::vector<Account> accounts;
  mutable std::mutex registrations_mutex;
  mutable std::condition_variable registrations_changed;
  std::vector<Registration> registrations;  // a copy for other threads
  // A call's leg as the agent keeps it, by its handle.
  struct Leg {
    std::shared_ptr<SipDialog> dialog;
    bool outgoing = false;
    bool answered = false;  // the INVITE that began it was answered with 2xx
    bool ended = false;     // the channel heard the end
    int challenges = 0;
  };
  std::map<nua_handle_t*, Leg> legs;
  std::vector<std::shared_ptr<Ringer>> ringers;
  bool shut_down = false;
  std::chrono::steady_clock::time_point last_attempt = std::chrono::steady_clock::now();
  int unregistering = 0;  // un-registrations not yet answered

  // Runs `command` on the agent's thread.
  void Post(std::function<void()> command) {
    {
      std::lock_guard lock(mutex);
      commands.push_back(std::move(command));
    }
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(wake[1], &byte, 1);
  }

  static int Woken(su_root_magic_t*, su_wait_t*, su_wakeup_arg_t* arg) {
    auto* self = static_cast<Impl*>(arg);
    char bytes[64];
    while (::read(self->wake[0], bytes, sizeof bytes) > 0) {
    }
    std::deque<std::function<void()>> ready;
    {
      std::lock_guard lock(self->mutex);
      ready.swap(self->commands);
    }
    for (auto& command : ready) command();
    return 0;
  }

  void Tell(size_t index, Registration::State state, int status, std::string detail) {
    auto& now = accounts[index].now;
    now = {state, status, std::move(detail)};
    {
      std::lock_guard lock(registrations_mutex);
      registrations[index] = now;
    }
    registrations_changed.notify_all();
    if (changed) changed(index, now);
  }

  static std::string Payload(sip_t const* sip) {
    return sip && sip->sip_payload && sip->sip_payload->pl_data
               ? std::string(sip->sip_payload->pl_data, sip->sip_payload->pl_len)
               : std::string();
  }

  void End(Leg& leg, CallEvent event) {
    if (leg.ended) return;
    leg.ended = true;
    leg.dialog->Events().Put(std::move(event));
  }

  // What a call hears: answers to our INVITEs, the far end's requests, and its end.
  void HeardCall(nua_event_t event, int status, const std::string& phrase, nua_handle_t* nh, sip_t const* sip,
                 tagi_t tags[]) {
    if (event == nua_i_invite && legs.find(nh) == legs.end()) return Ringing(nh, sip);
    auto it = legs.find(nh);
    if (it == legs.end()) return;
    Leg& leg = it->second;
    switch (event) {
      case nua_r_invite:
        if ((status == 401 || status == 407) && Challenge(nh, leg.dialog->account, leg.challenges, status, sip)) return;
        if (status >= 200 && status < 300) leg.challenges = 0;
        if (!leg.answered) {
          if (status == 180 || status == 183) {
            leg.dialog->Events().Put({CallEvent::kRinging, status, phrase});
          } else if (status >= 200 && status < 300) {
            leg.answered = true;
            leg.dialog->Events().Put({CallEvent::kAnswered, status, phrase, Payload(sip)});
          } else if (status >= 300) {
            CallEvent failed{CallEvent::kFailed, status, phrase};
            // What came from the network carries the answering side's To tag; our own stack's answers do not.
            failed.local = sip == nullptr || sip->sip_to == nullptr || sip->sip_to->a_tag == nullptr;
            End(leg, std::move(failed));
          }
        } else if (status >= 200) {
          leg.dialog->Events().Put(
              {status < 300 ? CallEvent::kOfferAnswered : CallEvent::kOfferRefused, status, phrase, Payload(sip)});
        }
        return;
      case nua_i_invite:
        leg.dialog->Events().Put({CallEvent::kOffer, 0, "", Payload(sip)});
        return;
      case nua_i_ack:
        leg.dialog->Events().Put({CallEvent::kConfirmed});
        return;
      case nua_i_bye:
      case nua_i_cancel:
        End(leg, {CallEvent::kEnded, status, phrase});
        return;
      case nua_i_state: {
        int state = nua_callstate_init;
        tl_gets(tags, NUTAG_CALLSTATE_REF(state), TAG_END());
        if (state != nua_callstate_terminated) return;
        End(leg, {CallEvent::kEnded, status, phrase});
        legs.erase(it);
        nua_handle_destroy(nh);
        return;
      }
      default:
        return;
    }
  }

  // A new call: the first free ringer of the account it is for takes it.
  void Ringing(nua_handle_t* nh, sip_t const* sip) {
    const std::string called = sip && sip->sip_to && sip->sip_to->a_url->url_user ? sip->sip_to->a_url->url_user : "";
    std::shared_ptr<Ringer> taker;
    size_t account = config.accounts.size();
    for (size_t i = 0; i < config.accounts.size(); ++i) {
      if (config.accounts[i].user == called) account = i;
    }
    for (const auto& ringer : ringers) {
      bool free = true;
      if (ringer->account == account && ringer->free.compare_exchange_strong(free, false)) {
        taker = ringer;
        break;
      }
    }
    if (!taker) {
      const bool ours = account < config.accounts.size();
      nua_respond(nh, ours ? 486 : 404, ours ? "Busy Here" : "Not Found", TAG_END());
      legs[nh] = Leg{std::make_shared<SipDialog>(), false, false, true, 0};  // kept until its end
      return;
    }
    auto dialog = std::make_shared<SipDialog>();
    dialog->handle = nh;
    dialog->account = account;
    legs[nh] = Leg{dialog, false, false, false, 0};
    nua_respond(nh, 180, "Ringing", TAG_END());
    CallEvent incoming{CallEvent::kIncoming, 0, "", Payload(sip)};
    incoming.dialog = dialog;
    incoming.called_number = called;
    if (sip && sip->sip_from) {
      if (sip->sip_from->a_url->url_user) incoming.caller_number = sip->sip_from->a_url->url_user;
      if (sip->sip_from->a_display) {
        incoming.caller_name = sip->sip_from->a_display;
        incoming.caller_name.erase(std::remove(incoming.caller_name.begin(), incoming.caller_name.end(), '"'),
                                   incoming.caller_name.end());
      }
    }
    taker->events.Put(std::move(incoming));
  }

  Leg* LegOf(const std::shared_ptr<SipDialog>& dialog) {
    auto it = legs.find(static_cast<nua_handle_t*>(dialog->handle));
    return it == legs.end() || it->second.dialog != dialog ? nullptr : &it->second;
  }

  void StartCall(const std::shared_ptr<SipDialog>& dialog, const std::string& number, const std::string& sdp) {
    const SipAccount& a = config.accounts[dialog->account];
    const std::string from = fmt::format("sip:{}@{}", a.user, a.domain);
    const std::string to = number.rfind("sip:", 0) == 0 ? number
                           : number.find('@') != std::string::npos ? "sip:" + number
                                                                   : fmt::format("sip:{}@{}", number, a.domain);
    const std::string& proxy = !a.proxy.empty() ? a.proxy : a.registrar;
    auto* nh = nua_handle(nua, nullptr, SIPTAG_TO_STR(to.c_str()), SIPTAG_FROM_STR(from.c_str()), TAG_END());
    if (!nh) {
      CallEvent failed{CallEvent::kFailed, 500, "the call could not be set up"};
      failed.local = true;
      return dialog->Events().Put(std::move(failed));
    }
    dialog->handle = nh;
    legs[nh] = Leg{dialog, true, false, false, 0};
    // The proxy is given with the request: it routes this INVITE only, and the dialog follows its Record-Route.
    nua_invite(nh, SIPTAG_CONTENT_TYPE_STR("application/sdp"), SIPTAG_PAYLOAD_STR(sdp.c_str()),
               TAG_IF(!proxy.empty(), NUTAG_PROXY(proxy.c_str())), TAG_END());
  }

  static void Heard(nua_event_t event, int status, char const* phrase, nua_t*, nua_magic_t* magic, nua_handle_t* nh,
                    nua_hmagic_t*, sip_t const* sip, tagi_t tags[]) {
    auto* self = static_cast<Impl*>(magic);
    if (event == nua_r_shutdown && status >= 200) {
      self->shut_down = true;
      return;
    }
    if (event != nua_r_register && event != nua_r_unregister) {
      return self->HeardCall(event, status, phrase ? phrase : "", nh, sip, tags);
    }
    for (size_t i = 0; i < self->accounts.size(); ++i) {
      if (self->accounts[i].handle != nh || status < 200) continue;
      // Taking a registration back is asked for the password too.
      if (self->Authenticate(i, status, sip)) return;
      if (event == nua_r_unregister) {
        --self->unregistering;
        return;
      }
      return self->Registered(i, status, phrase ? phrase : "");
    }
  }

  // Answers the registrar's challenge with the account's password, once
  // until it succeeds: a second challenge means the password is wrong.
  bool Authenticate(size_t index, int status, sip_t const* sip) {
    auto& account = accounts[index];
    if (status < 300) account.challenges = 0;
    return Challenge(account.handle, index, account.challenges, status, sip);
  }

  // Answers a challenge to a request of `handle` once: a second challenge
  // means the password is wrong, and the request's failure says so.
  bool Challenge(nua_handle_t* handle, size_t index, int& challenges, int status, sip_t const* sip) {
    if ((status != 401 && status != 407) || challenges > 0 || !sip ||
        !(sip->sip_www_authenticate || sip->sip_proxy_authenticate)) {
      return false;
    }
    ++challenges;
    const SipAccount& settings = config.accounts[index];
    const auto* challenge = sip->sip_www_authenticate ? sip->sip_www_authenticate : sip->sip_proxy_authenticate;
    const char* realm = msg_params_find(challenge->au_params, "realm=");
    const std::string credentials =
        fmt::format("{}:{}:{}:{}", challenge->au_scheme ? challenge->au_scheme : "Digest", realm ? realm : "\"\"",
                    settings.auth_user, settings.password);
    nua_authenticate(handle, NUTAG_AUTH(credentials.c_str()), TAG_END());
    return true;
  }

  void Registered(size_t index, int status, const std::string& phrase) {
    const SipAccount& settings = config.accounts[index];
    if (status < 300) return Tell(index, Registration::kRegistered, status, "");
    // A registration that failed leaves nothing to take back; Register() tries again.
    nua_handle_destroy(accounts[index].handle);
    accounts[index].handle = nullptr;
    if (status == 401 || status == 403 || status == 407) {
      return Tell(index, Registration::kRefused, status,
                  fmt::format("the registrar refused account {}: {} {} (check its user and password)", settings.name,
                              status, phrase));
    }
    Tell(index, Registration::kUnreachable, status,
         fmt::format("account {} could not register: {} {}", settings.name, status, phrase));
  }

  void Run(std::promise<void>& ready) {
    su_init();
    root = su_root_create(nullptr);
    const std::string host =
        config.listen_host.find(':') != std::string::npos ? "[" + config.listen_host + "]" : config.listen_host;
    const std::string url = fmt::format("sip:{}:{};transport=udp", host, config.listen_port);
    // Media are ours: sofia-sip carries the SDP bodies and leaves them alone.
    nua = root ? nua_create(root, &Impl::Heard, this, NUTAG_URL(url.c_str()), NUTAG_MEDIA_ENABLE(0), TAG_END())
               : nullptr;
    if (!nua) {
      error = fmt::format("SIP cannot listen on {}:{}", config.listen_host, config.listen_port);
    } else {
      su_wait_create(&waiter, wake[0], SU_WAIT_IN);
      su_root_register(root, &waiter, &Impl::Woken, this, 0);
      accounts.resize(config.accounts.size());
    }
    ready.set_value();
    if (nua) {
      for (;;) {
        {
          std::lock_guard lock(mutex);
          if (stopping && commands.empty()) break;
        }
        su_root_step(root, 1000);
        // A registration that failed is tried again after a while: the
        // registrar may be back, or its refusal mended.
        if (std::chrono::steady_clock::now() - last_attempt > kRetryRegistration) StartRegistrations();
      }
      // Registrations are taken back before the agent goes, each answering
      // the registrar's challenge as it did to register.
      for (auto& account : accounts) {
        if (!account.handle || account.now.state != Registration::kRegistered) continue;
        account.challenges = 0;
        ++unregistering;
        nua_unregister(account.handle, TAG_END());
      }
      for (int i = 0; i < 50 && unregistering > 0; ++i) su_root_step(root, 100);
      nua_shutdown(nua);
      for (int i = 0; i < 50 && !shut_down; ++i) su_root_step(root, 100);
      nua_destroy(nua);
      su_root_unregister(root, &waiter, &Impl::Woken, this);
    }
    if (root) su_root_destroy(root);
    su_deinit();
  }

  void StartRegistrations() {
    last_attempt = std::chrono::steady_clock::now();
    for (size_t i = 0; i < config.accounts.size(); ++i) {
      const SipAccount& a = config.accounts[i];
      if (a.registrar.empty() || accounts[i].handle) continue;
      const std::string aor = fmt::format("sip:{}@{}", a.user, a.domain);
      accounts[i].handle = nua_handle(nua, nullptr, SIPTAG_TO_STR(aor.c_str()), SIPTAG_FROM_STR(aor.c_str()), TAG_END());
      Tell(i, Registration::kRegistering, 0, "");
      const std::string expires = std::to_string(a.register_expires_s);
      nua_register(accounts[i].handle, NUTAG_REGISTRAR(URL_STRING_MAKE(a.registrar.c_str())),
                   SIPTAG_EXPIRES_STR(expires.c_str()), TAG_IF(!a.proxy.empty(), NUTAG_PROXY(a.proxy.c_str())),
                   // Our own contact needs no check through the registrar; the registration's
                   // OPTIONS keep the way through a NAT open.
                   NUTAG_OUTBOUND(config.options_interval_s > 0 ? "no-validate options-keepalive"
                                                                 : "no-validate no-options-keepalive"),
                   TAG_IF(config.options_interval_s > 0, NUTAG_KEEPALIVE(config.options_interval_s * 1000)),
                   TAG_END());
    }
  }
};

SipAgent::SipAgent(const SipConfig& config, RegistrationChanged changed) : impl_(std::make_unique<Impl>()) {
  auto& m = *impl_;
  m.config = config;
  m.changed = std::move(changed);
  m.registrations.resize(config.accounts.size());
  for (size_t i = 0; i < config.accounts.size(); ++i) {
    if (config.accounts[i].registrar.empty()) m.registrations[i].state = Registration::kRegistered;
  }
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, m.wake) != 0) {
    m.error = "SIP cannot start: no socket pair";
    return;
  }
  std::promise<void> ready;
  m.thread = std::thread([&m, &ready] { m.Run(ready); });
  ready.get_future().wait();
}

SipAgent::~SipAgent() {
  auto& m = *impl_;
  if (m.thread.joinable()) {
    {
      std::lock_guard lock(m.mutex);
      m.stopping = true;
    }
    m.Post([] {});
    m.thread.join();
  }
  for (int fd : m.wake) {
    if (fd >= 0) ::close(fd);
  }
}

const std::string& SipAgent::Error() const { return impl_->error; }

void SipAgent::Register() {
  if (!impl_->error.empty()) return;
  impl_->Post([m = impl_.get()] { m->StartRegistrations(); });
}

Registration SipAgent::RegistrationOf(size_t account) const {
  std::lock_guard lock(impl_->registrations_mutex);
  return account < impl_->registrations.size() ? impl_->registrations[account] : Registration{};
}

Registration SipAgent::AwaitRegistration(size_t account, int timeout_ms) const {
  auto& m = *impl_;
  std::unique_lock lock(m.registrations_mutex);
  if (account >= m.registrations.size()) return {};
  m.registrations_changed.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] {
    return !m.error.empty() || m.registrations[account].state != Registration::kRegistering;
  });
  return m.registrations[account];
}

std::shared_ptr<SipDialog> SipAgent::Invite(size_t account, const std::string& number, const std::string& sdp) {
  auto dialog = std::make_shared<SipDialog>();
  dialog->account = account;
  if (!impl_->error.empty() || account >= impl_->config.accounts.size()) {
    CallEvent failed{CallEvent::kFailed, 503, impl_->error.empty() ? "no such account" : impl_->error};
    failed.local = true;
    dialog->Events().Put(std::move(failed));
    return dialog;
  }
  impl_->Post([m = impl_.get(), dialog, number, sdp] { m->StartCall(dialog, number, sdp); });
  return dialog;
}

void SipAgent::Answer(const std::shared_ptr<SipDialog>& dialog, const std::string& sdp) {
  impl_->Post([m = impl_.get(), dialog, sdp] {
    auto* leg = m->LegOf(dialog);
    if (!leg || leg->answered) return;
    leg->answered = true;
    nua_respond(static_cast<nua_handle_t*>(dialog->handle), 200, "OK", SIPTAG_CONTENT_TYPE_STR("application/sdp"),
                SIPTAG_PAYLOAD_STR(sdp.c_str()), TAG_END());
  });
}

void SipAgent::Refuse(const std::shared_ptr<SipDialog>& dialog, int status, const std::string& phrase) {
  impl_->Post([m = impl_.get(), dialog, status, phrase] {
    auto* leg = m->LegOf(dialog);
    if (!leg || leg->answered || leg->outgoing) return;
    leg->ended = true;
    nua_respond(static_cast<nua_handle_t*>(dialog->handle), status, phrase.c_str(), TAG_END());
  });
}

void SipAgent::HangUp(const std::shared_ptr<SipDialog>& dialog) {
  impl_->Post([m = impl_.get(), dialog] {
    auto* leg = m->LegOf(dialog);
    if (!leg) return;
    auto* nh = static_cast<nua_handle_t*>(dialog->handle);
    leg->ended = true;
    if (leg->answered) {
      nua_bye(nh, TAG_END());
    } else if (leg->outgoing) {
      nua_cancel(nh, TAG_END());
    } else {
      nua_respond(nh, 480, "Temporarily Unavailable", TAG_END());
    }
  });
}

void SipAgent::Reoffer(const std::shared_ptr<SipDialog>& dialog, const std::string& sdp) {
  impl_->Post([m = impl_.get(), dialog, sdp] {
    if (auto* leg = m->LegOf(dialog); leg && leg->answered && !leg->ended) {
      nua_invite(static_cast<nua_handle_t*>(dialog->handle), SIPTAG_CONTENT_TYPE_STR("application/sdp"),
                 SIPTAG_PAYLOAD_STR(sdp.c_str()), TAG_END());
    }
  });
}

void SipAgent::AnswerOffer(const std::shared_ptr<SipDialog>& dialog, int status, const std::string& sdp) {
  impl_->Post([m = impl_.get(), dialog, status, sdp] {
    if (!m->LegOf(dialog)) return;
    auto* nh = static_cast<nua_handle_t*>(dialog->handle);
    if (status >= 300) {
      nua_respond(nh, status, sip_status_phrase(status), TAG_END());
    } else {
      nua_respond(nh, status, "OK", SIPTAG_CONTENT_TYPE_STR("application/sdp"), SIPTAG_PAYLOAD_STR(sdp.c_str()),
                  TAG_END());
    }
  });
}

void SipAgent::Listen(const std::shared_ptr<Ringer>& ringer) {
  impl_->Post([m = impl_.get(), ringer] { m->ringers.push_back(ringer); });
}

void SipAgent::StopListening(const std::shared_ptr<Ringer>& ringer) {
  impl_->Post([m = impl_.get(), ringer] { std::erase(m->ringers, ringer); });
}

}  // namespace qvfax::sip
