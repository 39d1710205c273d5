// One fax call on a Class 1 modem: SpanDSP's T.30 decides what to say, this
// class says it in AT commands. It dials and sends, or answers and receives;
// it carries V.21 HDLC frames under +FTH/+FRH, image data under +FTM or
// +FRM with the modem's silences between, and hangs up. It never blocks: Poll() reads what the modem sent, advances
// T.30's timers by the time that passed and writes what is due, so the call
// runs on the apartment's clock, one slice at a time. With error correction
// the image frames are HDLC-framed here (most modems frame only V.21) and go
// out as high-speed data; received ones are deframed here the same way.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engines/modem/serial_port.h"

namespace qvfax::modem {

struct Class1Setup {
  std::string number;
  std::string dial_prefix;        // before the number: an outside line, with "," as a pause
  std::vector<std::string> init;  // the port's own commands, before the call
  bool tone = true;               // else pulse dialling
  std::string speaker = "M1L1";   // the ATM/ATL part of the dial command
  std::string local_id;           // our TSI
  std::string document;           // the TIFF to send; empty: nothing to send
  bool answering = false;         // a call rang: answer it (ATA) and receive instead of dialling
  std::string received;           // answering: the TIFF the pages go into as they arrive
  int modulations = 7;            // T30_SUPPORT_V27TER | V29 | V17 that the modem and port allow
  bool t4_2d = true;              // MR among our codings
  bool ecm = false;               // error correction: frames HDLC-framed here, sent under +FTM
  bool t6 = false;                // MMR among our codings (with ECM only)
  int dial_timeout_ms = 90000;    // ATD: ringing until someone answers
  int command_timeout_ms = 5000;  // any other command
};

struct Class1Event {
  enum Kind { kDialing, kConnected, kPage, kFinished } kind;
  int page = 0;            // kPage: pages confirmed so far (sent, or received when answering)
  int32_t status = 0;      // kFinished: the termination status
  std::string detail;      // kFinished: what ended the call, for the log
};

class Class1Call {
 public:
  Class1Call(SerialPort& port, Class1Setup setup);
  ~Class1Call();
  Class1Call(const Class1Call&) = delete;
  Class1Call& operator=(const Class1Call&) = delete;

  // Puts the modem in class 1 and dials, or answers.
  void Start();
  // One slice of the call, `elapsed_ms` after the last; returns what happened in it.
  std::vector<Class1Event> Poll(int elapsed_ms);
  // How long the call may sleep, if the modem says nothing, before it needs
  // its next slice: a deadline, the pacing of image data, T.30's timers.
  int NextWakeMs() const;
  // Whether bytes wait for the port to take them.
  bool WantsWrite() const;
  // Hangs up now; the call then finishes with the cancel status.
  void Abort();
  bool Finished() const;

  std::string RemoteIdent() const;
  int Pages() const;  // confirmed so far: sent, or received when answering
  int BitRate() const;
  bool Ecm() const;
  int64_t ConnectedMs() const;   // since the remote answered; 0 before
  const std::string& Status() const;  // what the call is doing, for the fax manager's text
  // The commands and results so far, one line each: what a modem log shows.
  const std::vector<std::string>& Trace() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qvfax::modem
