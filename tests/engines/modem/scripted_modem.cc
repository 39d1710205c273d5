#include "scripted_modem.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>

#include <fmt/format.h>

namespace qvfax::modem::testing {

namespace {
constexpr uint8_t kDle = 0x10;
constexpr uint8_t kEtx = 0x03;
constexpr uint8_t kCan = 0x18;
const std::string kOk = "\r\nOK\r\n";
const std::string kConnect = "\r\nCONNECT\r\n";
}  // namespace

std::string Frame(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

std::string Received(const std::string& frame) {
  std::string out = kConnect;
  for (char c : frame + Frame({0x5a, 0xa5})) {  // any FCS: the modem has checked it
    out.push_back(c);
    if (static_cast<uint8_t>(c) == kDle) out.push_back(c);
  }
  out += Frame({kDle, kEtx}) + kOk;
  return out;
}

std::string ReceivedData(const std::string& data) {
  std::string out = kConnect;
  for (char c : data) {
    out.push_back(c);
    if (static_cast<uint8_t>(c) == kDle) out.push_back(c);
  }
  return out + Frame({kDle, kEtx}) + "\r\nNO CARRIER\r\n";
}

const std::string kDis = Frame({0xff, 0x13, 0x80, 0x00, 0xee, 0x74});
const std::string kCfr = Frame({0xff, 0x13, 0x84});
const std::string kFtt = Frame({0xff, 0x13, 0x44});
const std::string kMcf = Frame({0xff, 0x13, 0x8c});
const std::string kRtn = Frame({0xff, 0x13, 0x4c});
const std::string kDcs = Frame({0xff, 0x13, 0x83, 0x00, 0x62, 0x70});
const std::string kMps = Frame({0xff, 0x13, 0x4f});
const std::string kEop = Frame({0xff, 0x13, 0x2f});
const std::string kDcn = Frame({0xff, 0x13, 0xfb});

ScriptedModem::ScriptedModem() {
  int slave = -1;
  char name[128];
  if (::openpty(&master_, &slave, name, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
  termios tio{};
  ::tcgetattr(slave, &tio);
  ::cfmakeraw(&tio);
  ::tcsetattr(slave, TCSANOW, &tio);
  observer_ = slave;  // kept open: the pty lives while the test does
  device_ = name;
  ::fcntl(master_, F_SETFL, O_NONBLOCK);
  dial_reply = Received(kDis);
  on_frh = [](int) { return std::string(); };
  on_frm = [](int) { return std::string(); };
}

ScriptedModem::~ScriptedModem() {
  if (master_ >= 0) ::close(master_);
  if (observer_ >= 0) ::close(observer_);
}

int ScriptedModem::Count(const std::string& prefix) const {
  int n = 0;
  for (const auto& s : seen_) n += s.rfind(prefix, 0) == 0;
  return n;
}

void ScriptedModem::Say(const std::string& bytes) { Reply(bytes); }

void ScriptedModem::Vanish() {
  ::close(master_);
  master_ = -1;
}

void ScriptedModem::Reply(const std::string& bytes) {
  if (master_ < 0 || bytes.empty()) return;
  unsent_ += bytes;
  SendUnsent();
  if (threaded) return;
  // The reply is the driver's to read at its next poll: wait until the tty shows it.
  pollfd p{observer_, POLLIN, 0};
  ::poll(&p, 1, 1000);
}

void ScriptedModem::Command(const std::string& line) {
  seen_.push_back(line);
  if (silent) return;
  const bool dial = line.rfind("AT", 0) == 0 && line.find("+F") == std::string::npos &&
                    (line.find("DT") != std::string::npos || line.find("DP") != std::string::npos);
  if (line == fail_command) {
    Reply("\r\nERROR\r\n");
  } else if (line == "AT+FCLASS=?" || line == "AT+FTM=?" || line == "AT+FMI?" || line == "AT+FMM?") {
    const std::string& text = line == "AT+FCLASS=?" ? classes : line == "AT+FTM=?" ? modulations : maker;
    Reply("\r\n" + text + "\r\n" + kOk);
  } else if (dial) {
    Reply(dial_reply);
  } else if (line == "ATA") {
    if (answer_reply.empty() || answer_reply == kConnect) mode_ = Mode::kFrames;
    Reply(answer_reply.empty() ? kConnect : answer_reply);
  } else if (line == "AT+FTH=3") {
    mode_ = Mode::kFrames;
    Reply(kConnect);
  } else if (line.rfind("AT+FTM=", 0) == 0) {
    mode_ = Mode::kData;
    Reply(kConnect);
  } else if (line == "AT+FRH=3") {
    Reply(on_frh(frh_count_++));
  } else if (line.rfind("AT+FRM=", 0) == 0) {
    Reply(on_frm(frm_count_++));
  } else {
    Reply(kOk);
  }
  block_.clear();
  dle_ = false;
}

void ScriptedModem::Byte(uint8_t b) {
  if (draining_) return;
  if (mode_ == Mode::kCommand) {
    if (b == kCan) {
      seen_.push_back("<CAN>");
      Reply(kOk);
    } else if (b == '\r') {
      if (!line_.empty()) Command(line_);
      line_.clear();
    } else if (b >= 0x20) {
      line_.push_back(static_cast<char>(b));
    }
    return;
  }
  if (dle_) {
    dle_ = false;
    if (b == kDle) {
      block_.push_back(static_cast<char>(kDle));
    } else if (b == kEtx) {
      if (mode_ == Mode::kFrames) {
        const bool final = block_.size() >= 2 && (static_cast<uint8_t>(block_[1]) & 0x10);
        seen_.push_back(fmt::format("frame {:02x}", block_.size() >= 3 ? static_cast<uint8_t>(block_[2]) : 0));
        if (final) mode_ = Mode::kCommand;
        Reply(final ? kOk : kConnect);
      } else {
        seen_.push_back(fmt::format("data {}", block_.size()));
        data_.push_back(block_);
        mode_ = Mode::kCommand;
        draining_ = true;
        Reply(kOk);
      }
      block_.clear();
    } else {
      bad_shielding_ = true;
    }
    return;
  }
  if (b == kDle) {
    dle_ = true;
  } else {
    block_.push_back(static_cast<char>(b));
  }
}

void ScriptedModem::SendUnsent() {
  // A page is more than the tty holds: the rest goes as the driver reads.
  while (master_ >= 0 && !unsent_.empty()) {
    const ssize_t n = ::write(master_, unsent_.data(), unsent_.size());
    if (n <= 0) break;
    unsent_.erase(0, static_cast<size_t>(n));
  }
}

void ScriptedModem::Pump() {
  if (master_ < 0) return;
  SendUnsent();
  uint8_t buffer[8192];
  // The driver's writes reach this end through the kernel a moment later.
  pollfd p{master_, POLLIN, 0};
  if (::poll(&p, 1, 1) <= 0) return;
  for (;;) {
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n <= 0) break;
    for (ssize_t i = 0; i < n; ++i) Byte(buffer[i]);
    // Only what was written before the modem said OK is lost: a later read
    // may hold what the driver wrote after it saw that OK.
    draining_ = false;
  }
}

}  // namespace qvfax::modem::testing
