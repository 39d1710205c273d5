// A modem's serial port: the device opened raw, 8 data bits, no parity, one
// stop bit, at a set speed, with hardware flow control when asked; guarded by
// its UUCP lock so no two fax programs share it. Reads and writes never block.
#pragma once

#include <cstdint>
#include <string>

#include "engines/modem/uucp_lock.h"

namespace qvfax::modem {

struct SerialSettings {
  int speed = 115200;
  bool hardware_flow = true;  // RTS/CTS
  std::string lock_folder = "/var/lock";
};

class SerialPort {
 public:
  SerialPort() = default;
  ~SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  enum class OpenResult { kOpened, kMissing, kInUse, kFailed };
  // Takes the lock and opens `device`; `detail` says why it failed, for the log.
  OpenResult Open(const std::string& device, const SerialSettings& settings, std::string& detail);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  const std::string& Device() const { return device_; }
  int Descriptor() const { return fd_; }  // for waiting on the event loop; -1 when closed

  // What is waiting, up to `capacity` bytes; 0 when nothing; -1 when the device has gone (hung up).
  long Read(uint8_t* buffer, size_t capacity);
  // Writes what the device takes now; the rest is the caller's to retry. -1 when it has gone.
  long Write(const uint8_t* bytes, size_t length);
  // Waits at most `timeout_ms` for something to read; for the short commands of a probe.
  bool WaitReadable(int timeout_ms);
  // Drops DTR for a moment, which makes a real modem hang up; harmless where there is no DTR.
  void PulseDtr();
  // False once the device has hung up or gone (a soft modem that ended, a USB modem unplugged).
  bool Alive() const;
  // Discards whatever the device sent that was not read yet.
  void DiscardInput();

 private:
  int fd_ = -1;
  std::string device_;
  UucpLock lock_;
};

// The termios speed constant for `speed` bits a second, or 0 when there is none.
unsigned SpeedConstant(int speed);

}  // namespace qvfax::modem
