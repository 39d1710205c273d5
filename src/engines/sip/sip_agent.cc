// sofia-sip keeps all its state on the thread that made its root: the agent
// runs that thread, and commands reach it through a queue and a wake-up
// socket the root waits on beside its own.
#include "engines/sip/sip_agent.h"

#include <sys/socket.h>
#include <unistd.h>

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
#include <sofia-sip/su_wait.h>

namespace qvfax::sip {

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
  bool shut_down = false;
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
    if (changed) changed(index, now);
  }

  static void Heard(nua_event_t event, int status, char const* phrase, nua_t*, nua_magic_t* magic, nua_handle_t* nh,
                    nua_hmagic_t*, sip_t const* sip, tagi_t[]) {
    auto* self = static_cast<Impl*>(magic);
    if (event == nua_r_shutdown && status >= 200) {
      self->shut_down = true;
      return;
    }
    if (event != nua_r_register && event != nua_r_unregister) return;
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
    if ((status != 401 && status != 407) || account.challenges > 0 || !sip ||
        !(sip->sip_www_authenticate || sip->sip_proxy_authenticate)) {
      return false;
    }
    ++account.challenges;
    const SipAccount& settings = config.accounts[index];
    const auto* challenge = sip->sip_www_authenticate ? sip->sip_www_authenticate : sip->sip_proxy_authenticate;
    const char* realm = msg_params_find(challenge->au_params, "realm=");
    const std::string credentials =
        fmt::format("{}:{}:{}:{}", challenge->au_scheme ? challenge->au_scheme : "Digest", realm ? realm : "\"\"",
                    settings.auth_user, settings.password);
    nua_authenticate(account.handle, NUTAG_AUTH(credentials.c_str()), TAG_END());
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
    nua = root ? nua_create(root, &Impl::Heard, this, NUTAG_URL(url.c_str()), TAG_END()) : nullptr;
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
    for (size_t i = 0; i < config.accounts.size(); ++i) {
      const SipAccount& a = config.accounts[i];
      if (a.registrar.empty() || accounts[i].handle) continue;
      const std::string aor = fmt::format("sip:{}@{}", a.user, a.domain);
      accounts[i].handle = nua_handle(nua, nullptr, SIPTAG_TO_STR(aor.c_str()), SIPTAG_FROM_STR(aor.c_str()), TAG_END());
      Tell(i, Registration::kRegistering, 0, "");
      const std::string expires = std::to_string(a.register_expires_s);
      nua_register(accounts[i].handle, NUTAG_REGISTRAR(URL_STRING_MAKE(a.registrar.c_str())),
                   SIPTAG_EXPIRES_STR(expires.c_str()), TAG_IF(!a.proxy.empty(), NUTAG_PROXY(a.proxy.c_str())),
                   TAG_END());
    }
  }
};

SipAgent::SipAgent(const SipConfig& config, RegistrationChanged changed) : impl_(std::make_unique<Impl>()) {
  auto& m = *impl_;
  m.config = config;
  m.changed = std::move(changed);
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

}  // namespace qvfax::sip
