#include "engines/modem/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <fmt/format.h>

namespace qvfax::modem {

unsigned SpeedConstant(int speed) {
  switch (speed) {
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    default: return 0;
  }
}

SerialPort::~SerialPort() { Close(); }

SerialPort::OpenResult SerialPort::Open(const std::string& device, const SerialSettings& settings,
                                        std::string& detail) {
  Close();
  if (::access(device.c_str(), F_OK) != 0) {
    detail = device + ": no such device";
    return OpenResult::kMissing;
  }
  std::string lock_error;
  const pid_t owner = lock_.Acquire(settings.lock_folder, device, lock_error);
  if (owner > 0) {
    detail = fmt::format("{} is in use by process {} (lock {})", device, owner,
                         UucpLock::PathFor(settings.lock_folder, device));
    return OpenResult::kInUse;
  }
  if (owner < 0) {
    detail = device + ": cannot lock: " + lock_error;
    return OpenResult::kFailed;
  }
  // Non-blocking, so a modem that holds carrier detect low cannot stall the open.
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    detail = fmt::format("{}: {}", device, std::strerror(errno));
    lock_.Release();
    return errno == ENOENT ? OpenResult::kMissing : OpenResult::kFailed;
  }
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) {
    detail = fmt::format("{}: not a serial device: {}", device, std::strerror(errno));
    ::close(fd);
    lock_.Release();
    return OpenResult::kFailed;
  }
  ::cfmakeraw(&tio);
  tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
  tio.c_cflag |= CS8 | CREAD | CLOCAL | HUPCL;
  if (settings.hardware_flow) tio.c_cflag |= CRTSCTS;
  // With the port non-blocking, VMIN 1 makes an empty read answer EAGAIN, so
  // end of file means only that the port hung up.
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  if (const unsigned speed = SpeedConstant(settings.speed)) {
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
  }
  if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
    detail = fmt::format("{}: cannot set the line: {}", device, std::strerror(errno));
    ::close(fd);
    lock_.Release();
    return OpenResult::kFailed;
  }
  ::tcflush(fd, TCIOFLUSH);
  fd_ = fd;
  device_ = device;
  return OpenResult::kOpened;
}

void SerialPort::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  lock_.Release();
  device_.clear();
}

long SerialPort::Read(uint8_t* buffer, size_t capacity) {
  if (fd_ < 0) return -1;
  const ssize_t n = ::read(fd_, buffer, capacity);
  if (n > 0) return n;
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
  // Opened non-blocking, a port with nothing to say answers EAGAIN: end of
  // file is a port that hung up (an unplugged modem), EIO a pty whose other
  // end went away.
  return -1;
}

long SerialPort::Write(const uint8_t* bytes, size_t length) {
  if (fd_ < 0) return -1;
  if (length == 0) return 0;
  const ssize_t n = ::write(fd_, bytes, length);
  if (n >= 0) return n;
  if (errno == EAGAIN || errno == EINTR) return 0;
  return -1;
}

bool SerialPort::WaitReadable(int timeout_ms) {
  if (fd_ < 0) return false;
  pollfd p{fd_, POLLIN, 0};
  return ::poll(&p, 1, timeout_ms) > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR));
}

void SerialPort::PulseDtr() {
  if (fd_ < 0) return;
  int dtr = TIOCM_DTR;
  if (::ioctl(fd_, TIOCMBIC, &dtr) == 0) {
    // Modems see DTR drop within a few milliseconds; the line then goes on hook.
    ::usleep(100 * 1000);
    ::ioctl(fd_, TIOCMBIS, &dtr);
  }
}

bool SerialPort::Alive() const {
  if (fd_ < 0) return false;
  pollfd p{fd_, POLLIN, 0};
  if (::poll(&p, 1, 0) < 0) return false;
  return (p.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0;
}

void SerialPort::DiscardInput() {
  if (fd_ >= 0) ::tcflush(fd_, TCIFLUSH);
}

}  // namespace qvfax::modem
